// Draws every file of the skin table: buttons on their plates, pictures and
// scenes, each over the background of the panel it sits on.
#pragma once

#include "SkinTable.h"

#include <QImage>

#include <map>
#include <string>
#include <vector>

namespace skin {

class SkinArtist {
public:
    // table: the whole skin table; backgrounds behind buttons are taken from
    // its rows (at their sizes). Kept by reference: it must outlive this.
    explicit SkinArtist(const std::vector<Entry>& table) : table_(table) {}

    // Checks that every row names a drawing that fits it; false with a
    // message naming the first row that does not.
    bool Check(std::string* error) const;

    // Draws one file of entry: RGB32 for bitmaps, ARGB32 for icons; null
    // with a message when the row's art is unknown.
    QImage Draw(const Entry& entry, const Face& face, std::string* error);

private:
    QImage Backdrop(const Entry& entry);
    const QImage& Background(const std::string& art);

    const std::vector<Entry>& table_;
    std::map<std::string, QImage> backgrounds_; // by art, drawn on first use
};

} // namespace skin
