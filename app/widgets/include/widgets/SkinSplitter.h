// SkinSplitter: the window below the command panel that holds the video view
// (first pane, left) and the right panel (second pane). Side by side, the
// second pane is always exactly its minimum wide and the first takes the
// rest; the bar between them has no width, so the panes touch and nothing
// can be dragged. The right pane is hidden except in annotation mode.
//
// The first pane's right edge is kept in the program's INI file, section
// "splt\init<id>", key "VertSplitPos", read at set-up and written when the
// splitter is destroyed. User-interface thread only.
#pragma once

#include <QRect>
#include <QWidget>

class IniStore;

class SkinSplitter : public QWidget {
public:
    static constexpr int kSideBySide = 0x1; // style bit: panes left and right
    static constexpr int kDefaultSplitPos = 5;

    explicit SkinSplitter(IniStore* ini);
    ~SkinSplitter() override;

    // Creates the splitter in parent at rect, makes it the parent of both
    // panes and, with kSideBySide in style, lays them out side by side from
    // the stored position.
    bool CreateSplitter(int style, QWidget* parent, QWidget* first, QWidget* second, int id,
                        const QRect& rect, int first_min, int second_min);

    void HideRightPane();
    void ShowRightPane();
    bool RightPaneHidden() const { return second_hidden_; }

    QRect FirstRect() const { return first_rect_; }
    QRect SecondRect() const { return second_rect_; }
    // The first pane's right edge as last laid out.
    int SplitPos() const { return split_pos_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void LayoutAt(int x);
    void Relayout();
    QString Section() const;

    IniStore* const ini_;
    QWidget* first_ = nullptr;
    QWidget* second_ = nullptr;
    int first_min_ = 0;
    int second_min_ = 0;
    int bar_width_ = 0;
    int id_ = 0;
    int split_pos_ = kDefaultSplitPos;
    QRect first_rect_;
    QRect second_rect_;
    QRect bar_rect_;
    bool side_by_side_ = false;
    bool second_hidden_ = false;
    bool first_hidden_ = false;
};
