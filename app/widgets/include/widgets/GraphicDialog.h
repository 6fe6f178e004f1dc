// GraphicDialog: what the two modal graphic dialogs share, "Graphic Default
// Set" (GraphicDefaultsDialog) and "Graphic property" (GraphicPropertyDialog):
//   - number boxes (PlainLineEdit, digits only) each with its up-down control and
//     a valid range, and the check of all of them when OK is pressed: empty
//     boxes first, then the transfer of every box into its value, then the
//     ranges, the first failure keeping the dialog open with focus on its
//     box;
//   - colour swatches that run the colour picker;
//   - the skinned Save (1) and Cancel (2) buttons, 38 x 38 pixels;
//   - the key filter that swallows Ctrl+V, so nothing is pasted from the
//     keyboard;
//   - the messages, exclamation boxes with the MessageBoxString caption.
//
// Threads: the user-interface thread only. Lifetime: the context's store,
// INI store and settings must outlive the dialog.
#pragma once

#include "annotation/AnnotationStore.h"
#include "language/language.h"
#include "settings/AppSettings.h"
#include "settings/IniStore.h"
#include "widgets/ColorSwatch.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class SkinButton;
class PlainLineEdit;
class SpinButton;
class QLabel;

// Shows text in a message box with caption; type combines a button flag and
// an icon flag of MessageBox.h. Returns the button pressed. The program
// passes its MessageBox service function.
using MessageFunction =
    std::function<int(QWidget* parent, const QString& text, const QString& caption, unsigned type)>;

// What the graphic dialogs and the tool panel read and write of the program.
struct GraphicDialogContext {
    annotation::AnnotationStore* store = nullptr; // the shapes and the defaults of new ones
    IniStore* ini = nullptr;                      // the defaults dialog writes GraphicDefault
    settings::AppSettings* settings = nullptr;    // caption; the defaults dialog updates graphic
    HLANGCTX lang = nullptr;                      // may be null: no translation
    MessageFunction message;                      // empty: a QMessageBox
    ColorPicker pick_color;                       // empty: PickColorWithDialog
};

class GraphicDialog : public QDialog {
public:
    static constexpr int kOkId = 1;
    static constexpr int kCancelId = 2;
    static constexpr int kSkinButtonSize = 38;

    ~GraphicDialog() override;

    // OK: checks the boxes and, when all are valid, applies and closes with
    // Accepted. Public so that tests press it.
    void OnOK();
    // Runs the colour picker for the swatch with control id; public for
    // tests. Nothing happens for a disabled swatch.
    void OnSwatchClick(int id);

    SkinButton* OkButton() const { return ok_; }
    SkinButton* CancelButton() const { return cancel_; }

protected:
    // A number box with its up-down control and the value it edits.
    struct NumberBox {
        PlainLineEdit* edit = nullptr;
        SpinButton* spin = nullptr;
        int32_t* value = nullptr;
        int32_t min = 0;
        int32_t max = 0;
        QString range_message; // shown when the value is outside [min, max]
    };

    // Builds the dialog hidden, size in dialog units.
    GraphicDialog(GraphicDialogContext context, QWidget* parent, int template_id,
                  const QString& title, int width_dlu, int height_dlu);

    // Control placement in dialog units; the control gets id (0: none).
    static void Place(QWidget* control, int id, int x, int y, int width, int height);
    QLabel* AddLabel(int id, const char* text, int x, int y, int width);
    // A box at (x, y) with its up-down control to its right. Boxes are
    // checked in the order they are added.
    PlainLineEdit* AddNumberBox(int edit_id, int spin_id, int x, int y, int32_t* value, int32_t min,
                                int32_t max, const char* range_message);
    // A swatch showing *value, which the picker replaces.
    ColorSwatch* AddSwatch(int id, int x, int y, int width, COLORREF* value);
    // OK (1) and Cancel (2) at their places; the texts show only when the
    // skin files are missing.
    void AddButtons(int ok_x, int cancel_x, int y, const char* cancel_text);

    // The rest of the initialisation: centred on the parent, translated, then
    // every box shows its value with "%d" and its up-down control is attached
    // with its range, the swatches show their values, the buttons get their
    // skins. Derived constructors call it once their controls exist.
    void FinishInit();

    // Every box passed its checks: stores the values (the dialog then closes
    // with Accepted).
    virtual void Apply() = 0;

    void Message(const QString& text);
    const GraphicDialogContext& Context() const { return context_; }

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Swatch {
        ColorSwatch* swatch;
        COLORREF* value;
    };

    // Empty boxes, transfer, ranges; false after showing the first failure.
    bool CheckBoxes();
    void FocusBox(const NumberBox& box);

    GraphicDialogContext context_;
    std::vector<NumberBox> boxes_;
    std::vector<Swatch> swatches_;
    SkinButton* ok_ = nullptr;
    SkinButton* cancel_ = nullptr;
    const int template_id_;
};
