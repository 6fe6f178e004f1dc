#include "widgets/ControlToolBar.h"

#include "SkinPaint.h"
#include "common/CrossThreadEvent.h"
#include "common/DlgItem.h"
#include "common/LangText.h"
#include "widgets/SkinButton.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPainter>

#include <string>

namespace {

// Keys: the control codes 0xA4 to 0xB5 read as signed bytes.
constexpr int kMotionEndKey = -92; // 0xA4
constexpr int kZoomCloseKey = -89; // 0xA7

struct ToolButton {
    int id;
    const char* bitmap; // "Control/<bitmap>_<state>.bmp"
    const char* tooltip;
};

// In the order the bar skins them.
constexpr ToolButton kToolButtons[ControlToolBar::kButtonCount] = {
    {ControlToolBar::kZoomInId, "ZoomIn", "Zoom In"},
    {ControlToolBar::kZoomOutId, "ZoomOut", "Zoom Out"},
    {ControlToolBar::kFocusFarId, "FocusFar", "Focus Far"},
    {ControlToolBar::kFocusNearId, "FocusNear", "Focus Near"},
    {ControlToolBar::kBrightMoreId, "BrightMore", "Bright More"},
    {ControlToolBar::kBrightLessId, "BrightLess", "Bright Less"},
    {ControlToolBar::kSharpMoreId, "SharpMore", "Sharp More"},
    {ControlToolBar::kSharpLessId, "SharpLess", "Sharp Less"},
    {ControlToolBar::kAutoId, "Atuo", "Auto"},
    {ControlToolBar::kMirrorId, "Mirror", "Mirror"},
    {ControlToolBar::kRedMoreId, "RedMore", "Red More"},
    {ControlToolBar::kRedLessId, "RedLess", "Red Less"},
    {ControlToolBar::kBlueMoreId, "BlueMore", "Blue More"},
    {ControlToolBar::kBlueLessId, "BlueLess", "Blue Less"},
    {ControlToolBar::kColorId, "Color", "Mono/Color"},
    {ControlToolBar::kNegId, "Neg", "Neg"},
};

// Rows below the origin: the left and the right button.
struct Row {
    int dy;
    int left;
    int right;
};
constexpr Row kRows[] = {
    {15, ControlToolBar::kZoomInId, ControlToolBar::kZoomOutId},
    {53, ControlToolBar::kFocusFarId, ControlToolBar::kFocusNearId},
    {91, ControlToolBar::kBrightLessId, ControlToolBar::kBrightMoreId},
    {129, ControlToolBar::kSharpLessId, ControlToolBar::kSharpMoreId},
    {167, ControlToolBar::kAutoId, ControlToolBar::kMirrorId},
    {205, ControlToolBar::kRedMoreId, ControlToolBar::kRedLessId},
    {243, ControlToolBar::kBlueMoreId, ControlToolBar::kBlueLessId},
    {281, ControlToolBar::kColorId, ControlToolBar::kNegId},
};
constexpr int kColumnGap = 60;

// The template's hidden labels, 1033 to 1038, with their rows.
struct Label {
    int dy;
    const char* text;
};
constexpr Label kLabels[] = {{17, "Zoom"},   {55, "Focus"}, {93, "Bright"},
                             {131, "Sharp"}, {207, "Red"},  {245, "Blue"}};
constexpr int kLabelDx = 15;

// Motion buttons in the order the timer visits them, with their start keys.
struct Motion {
    int id;
    int start_key;
    bool zoom; // its stop is followed by kZoomCloseKey
};
constexpr Motion kMotions[] = {
    {ControlToolBar::kZoomInId, -91, true},
    {ControlToolBar::kZoomOutId, -90, true},
    {ControlToolBar::kFocusNearId, -88, false},
    {ControlToolBar::kFocusFarId, -87, false},
};

// Auto-repeat buttons 1 to 8, in the order the worker visits them.
struct KeyedButton {
    int id;
    int key;
};
constexpr KeyedButton kRepeats[toolbar::kRepeatButtons] = {
    {ControlToolBar::kBrightLessId, -85}, {ControlToolBar::kBrightMoreId, -86},
    {ControlToolBar::kSharpLessId, -83},  {ControlToolBar::kSharpMoreId, -84},
    {ControlToolBar::kRedLessId, -79},    {ControlToolBar::kRedMoreId, -80},
    {ControlToolBar::kBlueMoreId, -78},   {ControlToolBar::kBlueLessId, -77},
};

// Click buttons and their keys.
constexpr KeyedButton kClicks[] = {
    {ControlToolBar::kAutoId, -82},
    {ControlToolBar::kMirrorId, -81},
    {ControlToolBar::kColorId, -75},
    {ControlToolBar::kNegId, -76},
};

// A key the worker decided on, posted to the bar.
class AutoRepeatEvent : public QEvent {
public:
    static QEvent::Type Type() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    explicit AutoRepeatEvent(int key) : QEvent(Type()), key(key) {}
    const int key;
};

} // namespace

ControlToolBar::ControlToolBar(QWidget* parent)
    : QWidget(parent), background_(LoadSkinImage("BackGround/Top1.bmp")) {
    SetDialogId(this, kTemplateId);
    SetDlgCtrlId(this, kTemplateId);
    CreateButtons();
    CreateLabels();

    motion_timer_.setTimerType(Qt::PreciseTimer);
    connect(&motion_timer_, &QTimer::timeout, this, [this] { OnTimer(kMotionTimer); });
    motion_.fill(false);
    StartWorker();
    motion_timer_.start(kMotionPollMs);
    for (SkinButton* button : buttons_)
        button->show();
}

ControlToolBar::~ControlToolBar() {
    StopWorker();
    motion_timer_.stop();
}

void ControlToolBar::CreateButtons() {
    for (size_t i = 0; i < std::size(kToolButtons); ++i) {
        const ToolButton& tool = kToolButtons[i];
        auto* button = new SkinButton(this);
        SetDlgCtrlId(button, tool.id);
        button->setFocusPolicy(Qt::NoFocus);
        const std::string name(tool.bitmap);
        const std::string faces[] = {name + "_Normal", name + "_MouseOver", name + "_ClickDown",
                                     name + "_Gray"};
        SetSkinFaces(button, "Control", faces[0].c_str(), faces[1].c_str(), faces[2].c_str(),
                     faces[3].c_str());
        // English until the main window translates its panels.
        SetLangTip(nullptr, button, QString::fromLatin1(tool.tooltip));
        buttons_[i] = button;
    }
    for (const Row& row : kRows) {
        Button(row.left)->setGeometry(kOriginX, kOriginY + row.dy, kButtonSize, kButtonSize);
        Button(row.right)->setGeometry(kOriginX + kColumnGap, kOriginY + row.dy, kButtonSize,
                                       kButtonSize);
    }
    // The worker learns of held buttons from the user-interface thread: at
    // once on press and release, and at every motion tick, which also sees
    // a held button let go by hiding or disabling it.
    for (const KeyedButton& repeat : kRepeats) {
        SkinButton* button = Button(repeat.id);
        connect(button, &QAbstractButton::pressed, this, [this] {
            SyncHeld();
            WakeMotionTimer();
        });
        connect(button, &QAbstractButton::released, this, [this] { SyncHeld(); });
    }
    for (const Motion& motion : kMotions)
        connect(Button(motion.id), &QAbstractButton::pressed, this, [this] { WakeMotionTimer(); });
}

void ControlToolBar::WakeMotionTimer() {
    if (!motion_timer_.isActive())
        motion_timer_.start(kMotionPollMs);
}

void ControlToolBar::CreateLabels() {
    for (size_t i = 0; i < labels_.size(); ++i) {
        auto* label = new QLabel(QString::fromLatin1(kLabels[i].text), this);
        SetDlgCtrlId(label, kFirstLabelId + static_cast<int>(i));
        label->adjustSize();
        label->move(kOriginX + kLabelDx, kOriginY + kLabels[i].dy);
        label->hide();
        labels_[i] = label;
    }
}

SkinButton* ControlToolBar::Button(int id) const {
    for (SkinButton* button : buttons_) {
        if (button != nullptr && GetDlgCtrlId(button) == id)
            return button;
    }
    return nullptr;
}

QLabel* ControlToolBar::Label(int id) const {
    const int index = id - kFirstLabelId;
    return index >= 0 && index < static_cast<int>(labels_.size()) ? labels_[index] : nullptr;
}

int ControlToolBar::SendControlKey(int key) {
    if (!sender_)
        return -1;
    return sender_(static_cast<uint8_t>(key));
}

void ControlToolBar::EnableButtons(bool enable) {
    for (SkinButton* button : buttons_)
        button->setEnabled(enable);
}

// ---- motion buttons ------------------------------------------------------------

bool ControlToolBar::MotionPending(int id) const {
    for (size_t i = 0; i < std::size(kMotions); ++i) {
        if (kMotions[i].id == id)
            return motion_[i];
    }
    return false;
}

int ControlToolBar::MotionTimerInterval() const {
    return motion_timer_.isActive() ? motion_timer_.interval() : 0;
}

void ControlToolBar::OnTimer(int id) {
    if (id != kMotionTimer)
        return;
    SyncHeld();
    for (size_t i = 0; i < std::size(kMotions); ++i) {
        const Motion& motion = kMotions[i];
        const bool held = Button(motion.id)->Pressed();
        if (held && !motion_[i]) {
            motion_timer_.stop();
            motion_[i] = true;
            SendControlKey(motion.start_key);
            motion_timer_.start(kMotionHoldMs);
        } else if (!held && motion_[i]) {
            motion_timer_.stop();
            motion_[i] = false;
            SendControlKey(kMotionEndKey);
            if (motion.zoom) {
                platform::Sleep(kAfterZoomMs);
                SendControlKey(kZoomCloseKey);
            }
            motion_timer_.start(kMotionPollMs);
        }
    }
    // Nothing held and no motion running: the timer rests until a button's
    // press wakes it, rather than waking the user-interface thread every
    // millisecond for nothing.
    bool busy = held_.load() != 0;
    for (size_t i = 0; i < std::size(kMotions); ++i)
        busy = busy || motion_[i] || Button(kMotions[i].id)->Pressed();
    if (!busy)
        motion_timer_.stop();
}

// ---- auto-repeat -------------------------------------------------------------------

void ControlToolBar::SyncHeld() {
    uint32_t held = 0;
    for (int i = 0; i < toolbar::kRepeatButtons; ++i) {
        if (Button(kRepeats[i].id)->Pressed())
            held |= 1u << i;
    }
    // A new press wakes a resting worker at once.
    if (held_.exchange(held) == 0 && held != 0)
        wake_.Set();
}

void ControlToolBar::StartWorker() {
    StopWorker();
    stop_.store(false);
    worker_ = std::thread([this] { WorkerLoop(); });
}

void ControlToolBar::StopWorker() {
    if (!worker_.joinable())
        return;
    stop_.store(true);
    wake_.Set();
    worker_.join();
    stop_.store(false);
}

void ControlToolBar::WorkerLoop() {
    while (!stop_.load()) {
        // A real-time wait: a fake clock's Sleep would advance the clock the
        // tests step. Stop ends it at once.
        // While nothing is held it looks far less often: every wake-up of
        // a thread costs the frame path its share of the processor.
        wake_.Wait(held_.load() != 0 ? toolbar::kRepeatPollMs : kIdleRepeatPollMs);
        if (stop_.load())
            break;
        const uint32_t held = held_.load();
        const uint32_t now = platform::GetTickCount();
        for (int i = 0; i < toolbar::kRepeatButtons; ++i) {
            if ((held & (1u << i)) != 0 && rule_.ShouldSend(i + 1, now))
                PostAcrossThreads(this, new AutoRepeatEvent(kRepeats[i].key));
        }
        repeat_polls_.fetch_add(1);
    }
}

// ---- events and painting -------------------------------------------------------------

bool ControlToolBar::event(QEvent* event) {
    ReceivedAcrossThreads(event);
    if (event->type() == AutoRepeatEvent::Type()) {
        SendControlKey(static_cast<AutoRepeatEvent*>(event)->key);
        return true;
    }
    if (event->type() == ButtonCommandEvent::Type()) {
        const int id = static_cast<ButtonCommandEvent*>(event)->id;
        for (const KeyedButton& click : kClicks) {
            if (click.id == id)
                SendControlKey(click.key);
        }
        return true;
    }
    return QWidget::event(event);
}

void ControlToolBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintCentredBand(painter, background_, size(), palette().color(QPalette::Window));
}
