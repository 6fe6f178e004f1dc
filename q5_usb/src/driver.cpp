// Driver registration and the camera's attach and detach.
#include "module.h"
#include "q5_trace.h"

namespace q5 {
namespace {

// The first active interface's active alternate setting, or null.
const WDU_ALTERNATE_SETTING* ActiveSetting(const WDU_DEVICE* info) {
    if (info == nullptr || info->dwNumInterfaces == 0 || info->pActiveInterface == nullptr ||
        info->pActiveInterface[0] == nullptr) {
        return nullptr;
    }
    return info->pActiveInterface[0]->pActiveAltSetting;
}

// Removes the node of device from the list; returns whether it was the active one.
bool UnlinkNode(DriverContext* ctx, WDU_DEVICE_HANDLE device) {
    bool was_active = false;
    ctx->list_lock.Lock();
    for (std::unique_ptr<DeviceNode>* link = &ctx->list; *link; link = &(*link)->next) {
        if ((*link)->device != device) {
            continue;
        }
        if (ctx->active == link->get()) {
            ctx->active = nullptr;
            was_active = true;
        }
        *link = std::move((*link)->next);
        --ctx->device_count;
        break;
    }
    ctx->list_lock.Unlock();
    return was_active;
}

} // namespace

bool DriverInit(const char* driver_name, DriverContext* context) {
    Q5_TRACE_ENTRY();
    if (WD_DriverName(driver_name) == nullptr) {
        Q5_TRACE("%s(), failed: Could not set driver name to %s", __func__, driver_name);
        return false;
    }
    Q5_CHECK_STATUS(context->list_lock.Create());
    Q5_CHECK_STATUS(OsEventCreate(&context->device_idle));
    Q5_CHECK_STATUS(OsEventSignal(context->device_idle));

    WDU_MATCH_TABLE match{};
    match.wVendorId = kVendorId;
    match.wProductId = kProductId;
    WDU_EVENT_TABLE events{};
    events.pfDeviceAttach = DeviceAttach;
    events.pfDeviceDetach = DeviceDetach;
    events.pUserData = context;

    WD_STATUS status = WDU_Init(&State().driver, &match, 1, &events, "", 0);
    if (status != WD_STATUS_SUCCESS) {
        Q5_TRACE("%s(): failed to initialize USB driver: error 0x%lx (\"%s\")", __func__,
                 static_cast<unsigned long>(status), Stat2Str(status));
        return false;
    }
    return true;
}

void DriverUninit(DriverContext* context) {
    Q5_TRACE_ENTRY();
    if (State().driver != nullptr) {
        WDU_Uninit(State().driver); // no attach or detach runs after this
        State().driver = nullptr;
    }
    if (context == nullptr) {
        return;
    }
    // Wait until nobody holds the list and the device is idle, then release both.
    if (context->list_lock.Created()) {
        context->list_lock.Lock();
        context->list_lock.Unlock();
    }
    if (context->device_idle != nullptr) {
        while (OsEventWait(context->device_idle, 1000) != WD_STATUS_SUCCESS) {
        }
        OsEventClose(context->device_idle);
        context->device_idle = nullptr;
    }
    // Without the lock nothing was ever listed.
    if (context->list_lock.Created()) {
        context->list_lock.Lock();
        context->list.reset();
        context->active = nullptr;
        context->device_count = 0;
        context->list_lock.Unlock();
        context->list_lock.Close();
    }
}

bool DeviceAttach(WDU_DEVICE_HANDLE device, WDU_DEVICE* info, void* user) {
    Q5_TRACE_ENTRY();
    auto* ctx = static_cast<DriverContext*>(user);
    const WDU_ALTERNATE_SETTING* setting = ActiveSetting(info);
    auto node = std::make_unique<DeviceNode>();
    node->device = device;
    if (info != nullptr) {
        node->vendor_id = info->Descriptor.idVendor;
        node->product_id = info->Descriptor.idProduct;
    }
    if (setting != nullptr) {
        node->interface_number = setting->Descriptor.bInterfaceNumber;
        node->alternate_setting = setting->Descriptor.bAlternateSetting;
    }
    Q5_TRACE("%s(): Received and accepted attach for vendor id 0x%x, product id 0x%x, "
             "interface %ld, device handle 0x%p",
             __func__, node->vendor_id, node->product_id, static_cast<long>(node->interface_number),
             device);

    ctx->list_lock.Lock();
    std::unique_ptr<DeviceNode>* tail = &ctx->list;
    while (*tail) {
        tail = &(*tail)->next;
    }
    *tail = std::move(node);
    ++ctx->device_count;
    ctx->list_lock.Unlock();

    bool accepted;
    {
        Module& m = State();
        platform::MutexLock control(m.control_lock);
        accepted = DeviceControllerInit(m);
        if (!accepted) {
            DeviceControllerUninit(m);
        }
    }
    if (!accepted) {
        // A refused device gets no detach; leaving its node listed would make
        // it the active device of the next attach and refuse that camera too.
        UnlinkNode(ctx, device);
        return false;
    }
    SendEvent(Q5_EVENT_ATTACHED);
    return true;
}

bool DeviceControllerInit(Module& m) {
    Q5_TRACE_ENTRY();
    DriverContext* ctx = m.context.get();
    if (ctx == nullptr) {
        return false;
    }
    ctx->list_lock.Lock();
    if (ctx->active == nullptr) {
        ctx->active = ctx->list.get();
    }
    WDU_DEVICE_HANDLE active = ctx->active ? ctx->active->device : nullptr;
    ctx->list_lock.Unlock();

    // A second camera leaves the streaming pipe of the active one alone.
    if (m.listen_pipe && m.active_device == active) {
        return true;
    }
    m.active_device = active;

    WDU_DEVICE* info = nullptr;
    WD_STATUS status = WDU_GetDeviceInfo(active, &info);
    if (status != WD_STATUS_SUCCESS) {
        Q5_TRACE("%s(): WDU_GetDeviceInfo() failed, error 0x%lx (\"%s\")", __func__,
                 static_cast<unsigned long>(status), Stat2Str(status));
        return false;
    }
    if (m.device_info != nullptr) {
        WDU_PutDeviceInfo(m.device_info);
    }
    m.device_info = info;

    const WDU_ALTERNATE_SETTING* setting = ActiveSetting(info);
    const WDU_PIPE_INFO* pipe = nullptr;
    for (uint32_t i = 0; setting && setting->pPipes && i < setting->Descriptor.bNumEndpoints; ++i) {
        if (setting->pPipes[i].dwNumber == kListenPipeNumber) {
            pipe = &setting->pPipes[i];
            break;
        }
    }
    if (pipe == nullptr) {
        Q5_TRACE("The pipe number 0x%lx does not exist, please try again.",
                 static_cast<unsigned long>(kListenPipeNumber));
        return false;
    }

    auto listen = std::make_unique<ListenPipe>();
    listen->pipe = pipe;
    if (pipe->type == PIPE_TYPE_ISOCHRONOUS) {
        Q5_CHECK(pipe->type != PIPE_TYPE_ISOCHRONOUS); // the camera streams in bulk
        listen->transfer_options = USB_ISOCH_FULL_PACKETS_ONLY;
        listen->transfer_size = pipe->dwMaximumPacketSize * 8;
    } else {
        listen->transfer_size = Q5_MAX_FRAME_SIZE;
    }
    listen->device = active;
    m.listen_pipe = std::move(listen);
    return true;
}

void DeviceControllerUninit(Module& m) {
    m.listen_pipe.reset();
    if (m.device_info != nullptr) {
        WDU_PutDeviceInfo(m.device_info);
        m.device_info = nullptr;
    }
    m.active_device = nullptr;
}

void DeviceDetach(WDU_DEVICE_HANDLE device, void* user) {
    Q5_TRACE_ENTRY();
    Q5_TRACE("%s(): received detach for device handle 0x%p", __func__, device);
    auto* ctx = static_cast<DriverContext*>(user);
    if (!UnlinkNode(ctx, device)) {
        // Another camera than the active one: its stream goes on undisturbed.
        return;
    }
    if (OsEventWait(ctx->device_idle, 5000) != WD_STATUS_SUCCESS) {
        Q5_TRACE("Assert failed, file:%s, line:%d, func:%s(), error:%s", Q5_SOURCE, __LINE__,
                 __func__, Stat2Str(WD_TIME_OUT_EXPIRED));
    }
    OsEventSignal(ctx->device_idle);
    {
        Module& m = State();
        platform::MutexLock control(m.control_lock);
        if (m.listen_pipe && m.listen_pipe->worker) {
            Q5_TRACE("g_pListenPipe is !NULL, wait the worker thread.");
            ThreadWait(m.listen_pipe->worker); // its transfers fail now the device is gone
            Q5_TRACE("Wait the worker thread end.");
            m.listen_pipe->worker = nullptr;
        }
        DeviceControllerUninit(m);
        StopStreamingLocked(m);
    }
    SendEvent(Q5_EVENT_DETACHED);
}

} // namespace q5
