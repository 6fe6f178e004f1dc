#include "widgets/GraphicPanel.h"

#include "SkinPaint.h"
#include "common/CrossThreadEvent.h"
#include "common/DlgItem.h"
#include "common/LangText.h"
#include "widgets/GraphicDefaultsDialog.h"
#include "widgets/GraphicPropertyDialog.h"
#include "widgets/SkinButton.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPointer>

#include "platform/thread_annotations.h"

#include <mutex>

using annotation::DrawTool;

namespace {

// The panel state from the overlay worker, posted to the panel.
class PanelStateEvent : public QEvent {
public:
    static QEvent::Type Type() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    explicit PanelStateEvent(int state) : QEvent(Type()), state(state) {}
    const int state;
};

// The buttons in template order: control id, template position in dialog
// units, bitmap name in "Graphic", tooltip.
struct ButtonPlace {
    int id;
    int x, y;
    const char* bitmap;
    const char* tip;
};
constexpr ButtonPlace kButtons[] = {
    {GraphicPanel::kSelectId, 20, 8, "Select", "None"},
    {GraphicPanel::kLineId, 20, 37, "Line", "Line"},
    {GraphicPanel::kRectangleId, 20, 66, "Rectangle", "Rectangle"},
    {GraphicPanel::kCircleId, 20, 95, "Cricle", "Cricle"},
    {GraphicPanel::kCurveId, 20, 124, "Curve", "Curve"},
    {GraphicPanel::kDefaultSetId, 20, 153, "DefaultSet", "Default Set"},
    {GraphicPanel::kPropertyId, 20, 182, "Property", "Property"},
    {GraphicPanel::kDeleteId, 20, 211, "Delete", "Delete"},
    {GraphicPanel::kClearId, 20, 240, "Clear", "Clear"},
};

bool EnabledIn(int id, int state) {
    if (state < 1 || state > 3)
        return false;
    if (id == GraphicPanel::kPropertyId)
        return state == 2;
    if (id == GraphicPanel::kDeleteId)
        return state >= 2;
    return true;
}

} // namespace

// Carries reports from the store's handler (any thread) to the panel while
// the panel lives. The destructor detaches it under the lock, so no report
// is posted to a panel being destroyed.
class GraphicPanel::StateRelay {
public:
    explicit StateRelay(QObject* target) : target_(target) {}
    void Post(int state) {
        platform::MutexLock guard(lock_);
        if (target_ != nullptr)
            PostAcrossThreads(target_, new PanelStateEvent(state));
    }
    void Detach() {
        platform::MutexLock guard(lock_);
        target_ = nullptr;
    }

private:
    platform::Mutex lock_;
    QObject* target_ TOVEK_GUARDED_BY(lock_); // null once the panel goes
};

GraphicPanel::GraphicPanel(GraphicDialogContext context, QWidget* parent)
    : QWidget(parent), context_(std::move(context)),
      runner_([](QDialog& dialog) { return dialog.exec(); }),
      background_(LoadSkinImage("BackGround/Right.bmp")),
      relay_(std::make_shared<StateRelay>(this)) {
    SetDialogId(this, kTemplateId);
    CreateButtons();
    SetPanelState(0);
    if (context_.store != nullptr) {
        context_.store->SetPanelStateHandler(
            [relay = relay_](int32_t state) { relay->Post(state); });
    }
}

GraphicPanel::~GraphicPanel() {
    // The store keeps the handler; detached, it posts nothing.
    relay_->Detach();
}

void GraphicPanel::CreateButtons() {
    for (const ButtonPlace& place : kButtons) {
        auto* button = new SkinButton(this);
        SetDlgCtrlId(button, place.id);
        button->setFocusPolicy(Qt::NoFocus);
        button->setGeometry(DluToPixelsX(place.x), DluToPixelsY(place.y), kButtonSize, kButtonSize);
        const std::string name = place.bitmap;
        SetSkinFaces(button, "Graphic", (name + "_Normal").c_str(), (name + "_MouseOver").c_str(),
                     (name + "_ClickDown").c_str(), (name + "_Gray").c_str());
        // English until the main window translates its panels.
        SetLangTip(nullptr, button, QString::fromLatin1(place.tip));
        buttons_.push_back(button);
    }
}

SkinButton* GraphicPanel::Button(int id) const {
    for (SkinButton* button : buttons_) {
        if (GetDlgCtrlId(button) == id)
            return button;
    }
    return nullptr;
}

void GraphicPanel::SetPanelState(int state) {
    state_ = state;
    for (SkinButton* button : buttons_)
        button->setEnabled(EnabledIn(GetDlgCtrlId(button), state));
}

bool GraphicPanel::event(QEvent* event) {
    ReceivedAcrossThreads(event);
    if (event->type() == PanelStateEvent::Type()) {
        SetPanelState(static_cast<PanelStateEvent*>(event)->state);
        return true;
    }
    if (event->type() == ButtonCommandEvent::Type()) {
        OnCommand(static_cast<ButtonCommandEvent*>(event)->id);
        return true;
    }
    return QWidget::event(event);
}

void GraphicPanel::OnCommand(int id) {
    annotation::AnnotationStore* store = context_.store;
    if (store == nullptr)
        return;
    switch (id) {
    case kSelectId:
        store->SetTool(DrawTool::kSelect);
        break;
    case kLineId:
        store->SetTool(DrawTool::kLine);
        break;
    case kRectangleId:
        store->SetTool(DrawTool::kRectangle);
        break;
    case kCircleId:
        store->SetTool(DrawTool::kCircle);
        break;
    case kCurveId:
        store->SetTool(DrawTool::kCurve);
        break;
    case kClearId:
        store->ClearAll();
        break;
    case kDefaultSetId:
        OnDefaultSet();
        break;
    case kPropertyId:
        OnProperty();
        break;
    case kDeleteId:
        store->DeleteSelection();
        break;
    default:
        break;
    }
}

int GraphicPanel::RunDialog(QDialog* dialog) {
    // The main window may close while the dialog runs and take the dialog
    // (its child) with it.
    QPointer<QDialog> guard(dialog);
    const int result = runner_ ? runner_(*dialog) : dialog->exec();
    if (guard.isNull())
        return QDialog::Rejected;
    delete dialog;
    return result;
}

void GraphicPanel::OnDefaultSet() {
    RunDialog(new GraphicDefaultsDialog(context_, main_window_));
}

void GraphicPanel::OnProperty() {
    QPointer<GraphicPanel> self(this);
    annotation::AnnotationStore* store = context_.store;
    const int result = RunDialog(new GraphicPropertyDialog(context_, main_window_));
    if (self.isNull() || result != QDialog::Accepted)
        return;
    // The edited shape stands alone again: the group ends.
    store->Edit([](annotation::AnnotationState& s) {
        s.band.shown = false;
        s.band.group_active = false;
        s.band.group_drag = false;
    });
    store->RequestRedraw();
}

void GraphicPanel::paintEvent(QPaintEvent*) {
    // Without a background nothing is drawn: the right panel shows through.
    if (background_.isNull())
        return;
    QPainter painter(this);
    PaintCentredBand(painter, background_, size(), Qt::white);
}
