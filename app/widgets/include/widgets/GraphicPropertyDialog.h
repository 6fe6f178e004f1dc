// GraphicPropertyDialog: the modal dialog "Graphic property" (template 142) of
// the tool panel's Property button. It shows the kind, pen, fill and
// position of the first selected shape (ShapeProperty) and, on OK, after
// the five boxes pass their checks, writes the values back into that shape
// under the store's lock. The caller ends the group and asks for a redraw.
// Cancel leaves the shape untouched.
//
// The shape is found again by its id at OK: should it be gone or no longer
// the first selected one (the camera stopped while the dialog was open),
// nothing is written.
//
// Threads: the user-interface thread only. Lifetime: as GraphicDialog.
#pragma once

#include "widgets/GraphicDialog.h"
#include "widgets/ShapeProperty.h"

class QCheckBox;
class QLineEdit;

class GraphicPropertyDialog : public GraphicDialog {
public:
    static constexpr int kTemplateId = 142;
    static constexpr int kTypeId = 1091;
    static constexpr int kLineColorId = 1067;
    static constexpr int kFillId = 1093;
    static constexpr int kFillColorId = 1099;
    static constexpr int kLineWidthId = 1100;
    static constexpr int kXId = 1101;
    static constexpr int kYId = 1102;
    static constexpr int kWidthId = 1103;
    static constexpr int kHeightId = 1104;
    static constexpr int kLineWidthSpinId = 1105;
    static constexpr int kXSpinId = 1106;
    static constexpr int kYSpinId = 1107;
    static constexpr int kWidthSpinId = 1108;
    static constexpr int kHeightSpinId = 1109;
    // The fixed limits of the boxes; they do not follow the frame size.
    static constexpr int32_t kMaxX = 1280;
    static constexpr int32_t kMaxY = 1024;
    static constexpr int32_t kMaxHighlighterWidth = 100;

    // Built hidden and initialised from the store's first selected shape;
    // run it with exec(). parent only centres it.
    explicit GraphicPropertyDialog(GraphicDialogContext context, QWidget* parent = nullptr);
    ~GraphicPropertyDialog() override;

    // The working values.
    const graphic::ShapeProperty& Working() const { return working_; }

protected:
    void Apply() override;

private:
    void CreateControls();
    // Lines and curves have no fill; a curve keeps its size.
    void EnableForKind();

    graphic::ShapeProperty working_;
    QLineEdit* type_ = nullptr;
    QCheckBox* fill_ = nullptr;
};
