#include "common/AccessText.h"

#include "common/LangText.h"

QString AccessFaultText(const platform::DeviceAccessError& error, HLANGCTX lang) {
    const QString id = QString::fromStdString(error.usb_id);
    const QString camera = error.camera_model.empty()
                               ? LangFormat(LangText(lang, "USB device (USB %s)"), {id})
                               : LangFormat(LangText(lang, "%s camera (USB %s)"),
                                            {QString::fromStdString(error.camera_model), id});
    switch (error.fault) {
    case platform::AccessFault::kNoPermission:
        return LangFormat(LangText(lang, "No permission to use the %s. Install the udev rules: "
                                         "sudo scripts/install-udev-rules"),
                          {camera});
    case platform::AccessFault::kBusy:
        return LangFormat(LangText(lang, "The %s is in use by another program. Close that "
                                         "program, then choose the camera again."),
                          {camera});
    case platform::AccessFault::kNone:
        break;
    }
    return {};
}
