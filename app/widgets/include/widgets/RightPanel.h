// RightPanel: the right pane of the splitter, black, with the "unavailable"
// cursor, hosting the annotation tool panel, which it stretches over its
// whole area. User-interface thread only.
#pragma once

#include <QWidget>

#include <functional>

class RightPanel : public QWidget {
public:
    explicit RightPanel(QWidget* main_window);

    // The panel hosted from now on (owned; null removes and deletes the old
    // one); enable forwards the picture's start (1) and stop (0) to it.
    void SetHostedPanel(QWidget* panel, std::function<void(int)> enable = {});
    QWidget* HostedPanel() const { return panel_; }
    void EnablePanel(int enable);

    bool PanelActive() const { return panel_active_; }
    void SetPanelActive(bool active) { panel_active_ = active; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* panel_ = nullptr;
    std::function<void(int)> enable_;
    bool panel_active_ = true;
};
