// GraphicDefaultsDialog: the modal dialog "Graphic Default Set" (template 141) of
// the tool panel's Default Set button. It edits a working copy of the twelve
// defaults of new shapes; OK checks the four widths (1 to 20), then copies
// the defaults into the store and the application's settings and writes
// them to section GraphicDefault. Existing shapes keep theirs; Cancel
// changes nothing.
//
// Threads: the user-interface thread only. Lifetime: as GraphicDialog.
#pragma once

#include "widgets/GraphicDialog.h"

class QCheckBox;

class GraphicDefaultsDialog : public GraphicDialog {
public:
    static constexpr int kTemplateId = 141;
    static constexpr int kLineGroupId = 1062;
    static constexpr int kRectangleGroupId = 1063;
    static constexpr int kCircleGroupId = 1064;
    static constexpr int kCurveGroupId = 1065;
    static constexpr int kLineWidthId = 1069;
    static constexpr int kRectangleWidthId = 1075;
    static constexpr int kCircleWidthId = 1080;
    static constexpr int kCurveWidthId = 1085;
    static constexpr int kLineSpinId = 1068;
    static constexpr int kRectangleSpinId = 1074;
    static constexpr int kCircleSpinId = 1079;
    static constexpr int kCurveSpinId = 1084;
    static constexpr int kLineColorId = 1070;
    static constexpr int kRectangleColorId = 1073;
    static constexpr int kCircleColorId = 1078;
    static constexpr int kCurveColorId = 1083;
    static constexpr int kRectangleFillId = 1086;
    static constexpr int kCircleFillId = 1088;
    static constexpr int kRectangleFillColorId = 1087;
    static constexpr int kCircleFillColorId = 1089;

    // Built hidden and initialised from the store's defaults; run it with
    // exec(). parent only centres it.
    explicit GraphicDefaultsDialog(GraphicDialogContext context, QWidget* parent = nullptr);
    ~GraphicDefaultsDialog() override;

    // The working copy.
    const settings::GraphicDefaults& Working() const { return working_; }

protected:
    void Apply() override;

private:
    void CreateControls();
    void Save(const settings::GraphicDefaults& d);

    settings::GraphicDefaults working_;
    QCheckBox* rect_fill_ = nullptr;
    QCheckBox* circle_fill_ = nullptr;
};
