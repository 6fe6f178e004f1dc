// The main window's layout: the command panel across the top (80 pixels),
// the control tool bar column at the left (138 pixels while shown, else
// nothing), the splitter with the video view and the right panel filling the
// rest down to the status bar. The window's size is held between 800 x 600
// and 1280 x 1024. User-interface thread only.
#pragma once

#include <QRect>

class IniStore;
class RightPanel;
class SkinSplitter;
class QMenuBar;
class QStatusBar;
class QWidget;

class MainLayout {
public:
    static constexpr int kCommandPanelHeight = 80;
    static constexpr int kToolBarWidth = 138;
    static constexpr int kSplitterId = 125;
    static constexpr int kFirstPaneMin = 1000;
    static constexpr int kSecondPaneMin = 98;
    static constexpr int kMinWidth = 800;
    static constexpr int kMinHeight = 600;
    static constexpr int kMaxWidth = 1280;
    static constexpr int kMaxHeight = 1024;

    MainLayout(QWidget* window, QMenuBar* menu, QStatusBar* status, IniStore* ini);
    ~MainLayout();
    MainLayout(const MainLayout&) = delete;
    MainLayout& operator=(const MainLayout&) = delete;

    // Creates the splitter with view on the left and the right panel, and
    // takes the command panel and the tool bar column (children of the
    // window) into their places; the right pane starts hidden.
    void Create(QWidget* view, QWidget* command_panel, QWidget* tool_bar);

    // Places every part for the window's current size.
    void Layout();

    // The tool bar column is laid out only while shown (the command panel's
    // Control button shows it; Stop hides it).
    void SetToolBarShown(bool shown) { tool_bar_shown_ = shown; }
    bool ToolBarShown() const { return tool_bar_shown_; }
    // Annotation mode shows the right pane; otherwise the view fills the
    // splitter. Without a picture the splitter takes that form too.
    void SetAnnotationMode(bool on);

    // The gallery strip (a child of the window) lies under the splitter
    // while shown.
    void SetGallery(QWidget* strip, int height) {
        gallery_ = strip;
        gallery_height_ = height;
    }
    void SetGalleryShown(bool shown) { gallery_shown_ = shown; }
    bool GalleryShown() const { return gallery_shown_; }
    QWidget* GetCommandPanel() const { return command_panel_; }
    QWidget* ToolBar() const { return tool_bar_; }
    SkinSplitter* Splitter() const { return splitter_; }
    RightPanel* GetRightPanel() const { return right_panel_; }
    // The client area below the menu bar.
    QRect ClientRect() const;

private:
    QWidget* const window_;
    QMenuBar* const menu_;
    QStatusBar* const status_;
    IniStore* const ini_;
    QWidget* command_panel_ = nullptr;
    QWidget* tool_bar_ = nullptr;
    SkinSplitter* splitter_ = nullptr;
    RightPanel* right_panel_ = nullptr;
    bool tool_bar_shown_ = false;
    QWidget* gallery_ = nullptr;
    int gallery_height_ = 0;
    bool gallery_shown_ = false;
};
