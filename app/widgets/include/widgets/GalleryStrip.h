// The gallery: a strip of thumbnails under the picture, this session's
// snapshots first, then the images folder's pictures, newest first, with the
// buttons "Open Folder" and "Delete". A click shows a picture (the open
// handler); Ctrl+click chooses up to four for comparing. Delete asks first
// and moves the file to the desktop's trash.
//
// The strip owns the list and the thumbnail cache (capture room); only the
// thumbnails it paints are asked for, so a folder of hundreds of pictures
// costs no more than what is on screen and the cache's 200. User-interface
// thread only; the cache's worker reaches the strip through a posted event.
#pragma once

#include "capture/GalleryList.h"
#include "capture/ThumbnailCache.h"
#include "language/language.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QListView;
class QPushButton;
class GalleryItemModel;

class GalleryStrip : public QWidget {
public:
    static constexpr int kHeight = 132;
    // What a comparison shows at most.
    static constexpr int kMaxChosen = 4;
    // The thumbnails cover this box (16:9 and 4:3 pictures alike).
    static constexpr int kThumbWidth = 160;
    static constexpr int kThumbHeight = 120;

    GalleryStrip(HLANGCTX lang, QWidget* parent);
    ~GalleryStrip() override;

    // Reads folder (the images folder, UTF-8) again; the snapshots stay.
    void SetFolder(const std::string& folder);
    // A snapshot just saved: first in the strip at once.
    void AddSnapshot(const std::string& path);
    const GalleryList& List() const { return list_; }
    ThumbnailCache& Cache() { return *cache_; }

    // Told the path of a picture clicked without Ctrl.
    void SetOpenHandler(std::function<void(const std::string&)> handler) {
        on_open_ = std::move(handler);
    }
    // Told when the choice changed (List().ChosenInTimeOrder()).
    void SetChosenHandler(std::function<void()> handler) { on_chosen_ = std::move(handler); }
    // Told the path of a file moved to the trash.
    void SetDeletedHandler(std::function<void(const std::string&)> handler) {
        on_deleted_ = std::move(handler);
    }

    // Asks, then moves the current picture's file to the trash; false when
    // nothing was deleted (none current, the user said no, or the trash
    // refused: the user is told).
    bool DeleteCurrent();
    // Opens the images folder in the file manager.
    void OpenFolder();
    // Whether keys typed now go to the strip.
    bool HasKeyFocus() const;

    // For tests: the list view and the view rectangle of row.
    QListView* ListView() const { return view_; }
    QRect ItemRect(int row) const;

protected:
    bool event(QEvent* event) override;

private:
    void Rebuild();
    void OnSelectionChanged();

    const HLANGCTX lang_;
    GalleryList list_;
    GalleryItemModel* model_ = nullptr; // children of the strip
    QListView* view_ = nullptr;
    QPushButton* open_folder_ = nullptr;
    QPushButton* delete_ = nullptr;
    std::function<void(const std::string&)> on_open_;
    std::function<void()> on_chosen_;
    std::function<void(const std::string&)> on_deleted_;
    // Stopped first in the destructor, before anything it posts to goes.
    std::unique_ptr<ThumbnailCache> cache_;
};
