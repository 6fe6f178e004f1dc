#include "widgets/GraphicDialog.h"

#include "PlainLineEdit.h"
#include "SkinPaint.h"
#include "SpinButton.h"
#include "common/DlgItem.h"
#include "common/LangText.h"
#include "widgets/MessageBox.h"
#include "widgets/SkinButton.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpressionValidator>

namespace {

constexpr int kBoxWidthDlu = 36;
constexpr int kBoxHeightDlu = 12;
constexpr int kSpinWidthDlu = 10;

QString CaptionOf(const settings::AppSettings* s) {
    return s != nullptr ? QString::fromStdU16String(s->caption)
                        : QString::fromUtf16(settings::kDefaultCaption);
}

// A key press of V with Ctrl held: swallowed, so nothing is pasted from the
// keyboard.
bool IsPasteKey(const QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    return key->key() == Qt::Key_V && (key->modifiers() & Qt::ControlModifier);
}

} // namespace

GraphicDialog::GraphicDialog(GraphicDialogContext context, QWidget* parent, int template_id,
                             const QString& title, int width_dlu, int height_dlu)
    : QDialog(parent), context_(std::move(context)), template_id_(template_id) {
    SetDialogId(this, template_id);
    setModal(true);
    setWindowTitle(title);
    setFixedSize(DluToPixelsX(width_dlu), DluToPixelsY(height_dlu));
    installEventFilter(this);
}

GraphicDialog::~GraphicDialog() = default;

void GraphicDialog::Place(QWidget* control, int id, int x, int y, int width, int height) {
    if (id != 0)
        SetDlgCtrlId(control, id);
    control->setGeometry(DluToPixelsX(x), DluToPixelsY(y), DluToPixelsX(width),
                         DluToPixelsY(height));
}

QLabel* GraphicDialog::AddLabel(int id, const char* text, int x, int y, int width) {
    auto* label = new QLabel(QString::fromLatin1(text), this);
    Place(label, id, x, y, width, 8);
    // A label without a control id is translated by its English text.
    if (id == 0)
        SetLangText(context_.lang, label, QString::fromLatin1(text));
    return label;
}

PlainLineEdit* GraphicDialog::AddNumberBox(int edit_id, int spin_id, int x, int y, int32_t* value,
                                           int32_t min, int32_t max, const char* range_message) {
    auto* edit = new PlainLineEdit(this);
    Place(edit, edit_id, x, y, kBoxWidthDlu, kBoxHeightDlu);
    // Digits only, as typed or pasted; numbers are data, never translated.
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    SetFixedText(edit);
    edit->installEventFilter(this);

    auto* spin = new SpinButton(this);
    Place(spin, spin_id, x + kBoxWidthDlu, y, kSpinWidthDlu, kBoxHeightDlu);
    spin->SetChangeHandler([value](int32_t position) { *value = position; });

    boxes_.push_back({edit, spin, value, min, max, QString::fromLatin1(range_message)});
    return edit;
}

ColorSwatch* GraphicDialog::AddSwatch(int id, int x, int y, int width, COLORREF* value) {
    auto* swatch = new ColorSwatch(this);
    Place(swatch, id, x, y, width, kBoxHeightDlu);
    swatch->SetClickHandler([this, id] { OnSwatchClick(id); });
    swatches_.push_back({swatch, value});
    return swatch;
}

void GraphicDialog::AddButtons(int ok_x, int cancel_x, int y, const char* cancel_text) {
    ok_ = new SkinButton(QStringLiteral("OK"), this);
    cancel_ = new SkinButton(QString::fromLatin1(cancel_text), this);
    Place(ok_, kOkId, ok_x, y, 0, 0);
    Place(cancel_, kCancelId, cancel_x, y, 0, 0);
    ok_->setDefault(true);
    connect(ok_, &QAbstractButton::clicked, this, [this] { OnOK(); });
    connect(cancel_, &QAbstractButton::clicked, this, &QDialog::reject);
}

void GraphicDialog::FinishInit() {
    if (parentWidget() != nullptr)
        move(parentWidget()->window()->frameGeometry().center() - rect().center());
    if (context_.lang != nullptr)
        LangTranslateDialog(context_.lang, this, static_cast<uint32_t>(template_id_));
    for (const NumberBox& box : boxes_) {
        box.edit->setText(QString::number(*box.value));
        box.spin->SetBuddy(box.edit);
        box.spin->SetRange(box.min, box.max);
    }
    for (const Swatch& s : swatches_)
        s.swatch->SetColor(*s.value);
    const struct {
        SkinButton* button;
        const char* name;
        const char* tip;
    } skins[] = {{ok_, "Save", "Save"}, {cancel_, "Cancel", "Cancel"}};
    for (const auto& skin : skins) {
        if (skin.button == nullptr)
            continue;
        const std::string name = skin.name;
        skin.button->resize(kSkinButtonSize, kSkinButtonSize);
        SetSkinFaces(skin.button, "Setting", (name + "_Normal").c_str(),
                     (name + "_MouseOver").c_str(), (name + "_ClickDown").c_str(),
                     (name + "_Gray").c_str());
        SetLangTip(context_.lang, skin.button, QString::fromLatin1(skin.tip));
    }
}

void GraphicDialog::OnSwatchClick(int id) {
    for (const Swatch& s : swatches_) {
        if (GetDlgCtrlId(s.swatch) != id || !s.swatch->isEnabled())
            continue;
        // The picker starts at black, whatever the swatch shows.
        const std::optional<COLORREF> picked =
            context_.pick_color ? context_.pick_color(nullptr, 0) : PickColorWithDialog(nullptr, 0);
        if (picked) {
            *s.value = *picked;
            s.swatch->SetColor(*picked);
        }
        update();
        return;
    }
}

void GraphicDialog::Message(const QString& text) {
    const QString caption = CaptionOf(context_.settings);
    if (context_.message) {
        context_.message(this, text, caption, msgbox::kOk | msgbox::kIconExclamation);
        return;
    }
    QMessageBox::warning(this, caption, text);
}

void GraphicDialog::FocusBox(const NumberBox& box) {
    box.edit->setFocus(Qt::OtherFocusReason);
    box.edit->selectAll();
}

bool GraphicDialog::CheckBoxes() {
    for (const NumberBox& box : boxes_) {
        if (box.edit->text().isEmpty()) {
            Message(LangText(context_.lang, "Please enter an integer!"));
            FocusBox(box);
            return false;
        }
    }
    for (const NumberBox& box : boxes_) {
        if (!ParseBoxInteger(box.edit->text(), box.value)) {
            Message(LangText(context_.lang, "Please enter an integer."));
            FocusBox(box);
            return false;
        }
    }
    for (const NumberBox& box : boxes_) {
        if (*box.value < box.min || *box.value > box.max) {
            // Replaced by 1 whatever the range, so a second OK goes through.
            *box.value = 1;
            box.edit->setText(QStringLiteral("1"));
            Message(LangText(context_.lang, box.range_message));
            FocusBox(box);
            return false;
        }
    }
    return true;
}

void GraphicDialog::OnOK() {
    if (!CheckBoxes())
        return;
    Apply();
    accept();
}

bool GraphicDialog::eventFilter(QObject* watched, QEvent* event) {
    if (IsPasteKey(event))
        return true;
    return QDialog::eventFilter(watched, event);
}
