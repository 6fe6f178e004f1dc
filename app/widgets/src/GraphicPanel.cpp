#include "widgets/GraphicPanel.h"

#include "SkinPaint.h"
#include "common/CrossThreadEvent.h"
#include "common/DlgItem.h"
#include "common/LangText.h"
#include "widgets/GraphicDefaultsDialog.h"
#include "widgets/GraphicPropertyDialog.h"
#include "widgets/QuickPalette.h"
#include "widgets/SkinButton.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPointer>

#include "platform/thread_annotations.h"

#include <mutex>
#include <optional>

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

// The buttons: control id, position in dialog units, bitmap name in
// "Graphic", tooltip, and the tool it chooses. Two columns, related tools
// side by side, so that the quick palette fits below on a 768-pixel screen.
constexpr int kLeft = 6;
constexpr int kRight = 34;
constexpr int kRow = 24;
struct ButtonPlace {
    int id;
    int x, y;
    const char* bitmap;
    const char* tip;
    std::optional<DrawTool> tool;
};
const ButtonPlace kButtons[] = {
    {GraphicPanel::kSelectId, kLeft, 8, "Select", "None", DrawTool::kSelect},
    {GraphicPanel::kTextId, kRight, 8, "Text", "Text", DrawTool::kText},
    {GraphicPanel::kLineId, kLeft, 8 + kRow, "Line", "Line", DrawTool::kLine},
    {GraphicPanel::kArrowId, kRight, 8 + kRow, "Arrow", "Arrow", DrawTool::kArrow},
    {GraphicPanel::kRectangleId, kLeft, 8 + 2 * kRow, "Rectangle", "Rectangle",
     DrawTool::kRectangle},
    {GraphicPanel::kCircleId, kRight, 8 + 2 * kRow, "Cricle", "Cricle", DrawTool::kCircle},
    {GraphicPanel::kCurveId, kLeft, 8 + 3 * kRow, "Curve", "Curve", DrawTool::kCurve},
    {GraphicPanel::kHighlighterId, kRight, 8 + 3 * kRow, "Highlighter", "Highlighter",
     DrawTool::kHighlighter},
    {GraphicPanel::kEraserId, kLeft, 8 + 4 * kRow, "Eraser", "Eraser", DrawTool::kEraser},
    {GraphicPanel::kDeleteId, kRight, 8 + 4 * kRow, "Delete", "Delete", std::nullopt},
    {GraphicPanel::kClearId, kLeft, 8 + 5 * kRow, "Clear", "Clear", std::nullopt},
    {GraphicPanel::kPropertyId, kRight, 8 + 5 * kRow, "Property", "Property", std::nullopt},
    {GraphicPanel::kDefaultSetId, kLeft, 8 + 6 * kRow, "DefaultSet", "Default Set", std::nullopt},
};
constexpr int kPaletteTop = 8 + 7 * kRow + 4;

const ButtonPlace* PlaceOf(int id) {
    for (const ButtonPlace& place : kButtons) {
        if (place.id == id)
            return &place;
    }
    return nullptr;
}

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
    palette_ = new QuickPalette(this);
    palette_->Place(DluToPixelsX(kLeft), DluToPixelsY(kPaletteTop));
    if (context_.store != nullptr) {
        palette_->SetColorHandler([store = context_.store](COLORREF c) { store->ChooseColor(c); });
        palette_->SetWidthHandler([store = context_.store](int i) { store->ChooseWidth(i); });
    }
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
        button->setCheckable(place.tool.has_value());
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
    palette_->setEnabled(state >= 1 && state <= 3);
    // Stop returns the store to the Select tool.
    ShowCurrentTool();
}

void GraphicPanel::ShowCurrentTool() {
    if (context_.store == nullptr)
        return;
    const DrawTool tool = context_.store->Tool();
    for (SkinButton* button : buttons_) {
        const ButtonPlace* place = PlaceOf(GetDlgCtrlId(button));
        button->setChecked(place != nullptr && place->tool.has_value() && *place->tool == tool);
    }
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
    if (const ButtonPlace* place = PlaceOf(id); place != nullptr && place->tool) {
        store->SetTool(*place->tool);
        ShowCurrentTool();
        return;
    }
    switch (id) {
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
