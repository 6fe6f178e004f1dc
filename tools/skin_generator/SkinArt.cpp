#include "SkinArt.h"

#include "Glyphs.h"
#include "Lookup.h"
#include "Plate.h"
#include "Scenes.h"

#include <QPainter>

#include <algorithm>

namespace skin {
namespace {

// Where the buttons and pictures of a folder sit on its panel's background,
// so their corners match it: the background's art and the top-left corner of
// a typical button (and picture) in the background's own coordinates.
struct Backing {
    const char* folder;
    const char* background;
    QPoint button_at;
    QPoint picture_at;
};

const Backing kBackings[] = {
    // Command panel: buttons at y 5 from the left edge, the logo at y 5.
    {"Skin/LeftDlg", "bg_left", {30, 5}, {1000, 5}},
    // Control bar column: buttons in the column's left part.
    {"Skin/Control", "bg_top1", {16, 400}, {16, 400}},
    // Right panel: buttons at x 30.
    {"Skin/Graphic", "bg_right", {30, 400}, {30, 400}},
    // Settings dialog (the background's band is centred on the 388-pixel
    // client): browse and save buttons at x 381, pictures at x 16.
    {"Skin/Setting", "bg_setting", {381, 200}, {16, 60}},
};

const Backing* FindBacking(const std::string& folder) {
    return FindByName(kBackings, &Backing::folder, folder);
}

} // namespace

bool SkinArtist::Check(std::string* error) const {
    for (const Entry& entry : table_) {
        const std::string where = "line " + std::to_string(entry.line) + ": ";
        if (entry.button && FindGlyph(entry.art) == nullptr) {
            *error = where + "no button glyph named " + entry.art;
            return false;
        }
        if (!entry.button && FindGlyph(entry.art) == nullptr && !IsScene(entry.art)) {
            *error = where + "no picture named " + entry.art;
            return false;
        }
    }
    for (const Backing& backing : kBackings) {
        bool found = false;
        for (const Entry& entry : table_)
            found = found || entry.art == backing.background;
        if (!found) {
            *error = std::string("no background row for ") + backing.folder;
            return false;
        }
    }
    return true;
}

const QImage& SkinArtist::Background(const std::string& art) {
    auto it = backgrounds_.find(art);
    if (it == backgrounds_.end()) {
        QImage image;
        for (const Entry& entry : table_) {
            if (entry.art == art) {
                image = DrawScene(art, QSize(entry.width, entry.height), QImage());
                break;
            }
        }
        it = backgrounds_.emplace(art, image).first;
    }
    return it->second;
}

QImage SkinArtist::Backdrop(const Entry& entry) {
    const QSize size(entry.width, entry.height);
    QImage backdrop(size, QImage::Format_RGB32);
    backdrop.fill(QColor(0xEF, 0xEF, 0xEF)); // a plain dialog, where no panel is known
    const Backing* backing = FindBacking(entry.folder);
    if (backing == nullptr)
        return backdrop;
    const QImage& background = Background(backing->background);
    if (background.isNull())
        return backdrop;
    QPoint at = entry.button ? backing->button_at : backing->picture_at;
    // Keep the cut inside the background.
    at.setX(std::max(0, std::min(at.x(), background.width() - size.width())));
    at.setY(std::max(0, std::min(at.y(), background.height() - size.height())));
    QPainter painter(&backdrop);
    painter.drawImage(QPoint(0, 0), background, QRect(at, size));
    return backdrop;
}

QImage SkinArtist::Draw(const Entry& entry, const Face& face, std::string* error) {
    const QSize size(entry.width, entry.height);
    if (IsScene(entry.art)) {
        if (entry.button) {
            *error = "line " + std::to_string(entry.line) + ": " + entry.art + " is no button";
            return QImage();
        }
        // A background is its own backdrop; the logo sits on the panel.
        return DrawScene(entry.art, size, Backdrop(entry));
    }
    const Glyph* glyph = FindGlyph(entry.art);
    if (glyph == nullptr) {
        *error = "line " + std::to_string(entry.line) + ": no drawing named " + entry.art;
        return QImage();
    }
    if (!entry.button)
        return DrawPicture(*glyph, Backdrop(entry));
    return DrawButtonFace(*glyph, Backdrop(entry), face.state, face.second);
}

} // namespace skin
