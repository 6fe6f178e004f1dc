// The skin table and the files the build drew from it: every name the
// panels load is there, readable, of its size, not flat, and the states of a
// button look different in the way a user expects.
#include "SkinArt.h"
#include "SkinTable.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

using skin::Entry;
using skin::Face;
using skin::State;

std::string Bin() {
    const char* build = std::getenv("TOVEK_BUILD_DIR");
    return build ? std::string(build) + "/bin/" : std::string("bin/");
}

const std::vector<Entry>& Table() {
    static const std::vector<Entry> table = [] {
        std::vector<Entry> entries;
        std::string error;
        EXPECT_TRUE(skin::ReadSkinTable(TOVEK_SKIN_TABLE, &entries, &error)) << error;
        return entries;
    }();
    return table;
}

QString PathOf(const Entry& entry, const Face& face) {
    return QString::fromStdString(Bin() + entry.folder + "/" + face.file);
}

QImage Load(const Entry& entry, const Face& face) {
    return QImage(PathOf(entry, face)).convertToFormat(QImage::Format_ARGB32);
}

double MeanLuminance(const QImage& image, const QRect& area) {
    double sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            sum += qGray(image.pixel(x, y));
    return sum / (area.width() * area.height());
}

int MaxSaturation(const QImage& image, const QRect& area) {
    int most = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int hi = std::max({qRed(p), qGreen(p), qBlue(p)});
            const int lo = std::min({qRed(p), qGreen(p), qBlue(p)});
            most = std::max(most, hi - lo);
        }
    }
    return most;
}

const Face* FindFace(const Entry& entry, State state, bool second) {
    for (const Face& face : entry.faces) {
        if (face.state == state && face.second == second)
            return &face;
    }
    return nullptr;
}

TEST(SkinTable, ParsesFacesAndRejectsMalformedRows) {
    std::vector<Entry> entries;
    std::string error;
    ASSERT_TRUE(skin::ParseSkinTable("# comment\n\n"
                                     "Skin/LeftDlg Record 64x64 record Normal1 MouseOver2 Gray\n"
                                     "Skin/LeftDlg Setting 64x64 gear Normal1 Normal2=MouseOver\n"
                                     "icons tovekcamera-16 16x16 app_icon .png\n",
                                     &entries, &error))
        << error;
    ASSERT_EQ(entries.size(), 3u);
    const Entry& record = entries[0];
    EXPECT_TRUE(record.button);
    EXPECT_EQ(record.line, 3);
    EXPECT_EQ(record.width, 64);
    ASSERT_EQ(record.faces.size(), 3u);
    EXPECT_EQ(record.faces[1].file, "Record_MouseOver2.bmp");
    EXPECT_EQ(record.faces[1].state, State::MouseOver);
    EXPECT_TRUE(record.faces[1].second);
    EXPECT_FALSE(record.faces[0].second);
    EXPECT_EQ(record.faces[2].state, State::Gray);
    const Face& lit = entries[1].faces[1];
    EXPECT_EQ(lit.file, "Setting_Normal2.bmp");
    EXPECT_EQ(lit.state, State::MouseOver);
    EXPECT_FALSE(lit.second);
    EXPECT_FALSE(entries[2].button);
    EXPECT_EQ(entries[2].faces[0].file, "tovekcamera-16.png");

    struct Bad {
        const char* row;
        const char* message;
    };
    const Bad bad[] = {
        {"Skin/Control ZoomIn 32x32\n", "expected"},
        {"Skin/Control ZoomIn 32x32 zoom_in\n", "no files"},
        {"Skin/Control ZoomIn 32x zoom_in Normal\n", "size"},
        {"Skin/Control ZoomIn 0x32 zoom_in Normal\n", "size"},
        {"Skin/Control ZoomIn 5000x32 zoom_in Normal\n", "size"},
        {"Skin/Control ZoomIn 32*32 zoom_in Normal\n", "size"},
        {"Skin/Control ZoomIn 32x32q zoom_in Normal\n", "size"},
        {"Skin/Control ZoomIn 32x32 zoom_in Pressed\n", "not a state file"},
        {"Skin/Control ZoomIn 32x32 zoom_in Normal=Hover\n", "not a state file"},
        {"Skin/Control ZoomIn 32x32 zoom_in ../Normal\n", "not a state file"},
        {"../Skin ZoomIn 32x32 zoom_in Normal\n", "folder"},
        {"/etc ZoomIn 32x32 zoom_in Normal\n", "folder"},
        {"Skin//Control ZoomIn 32x32 zoom_in Normal\n", "folder"},
        {"Skin/Control Zoom.In 32x32 zoom_in Normal\n", "name"},
        {"# only a comment\n", "no rows"},
    };
    for (const Bad& row : bad) {
        SCOPED_TRACE(row.row);
        error.clear();
        EXPECT_FALSE(skin::ParseSkinTable(row.row, &entries, &error));
        EXPECT_NE(error.find(row.message), std::string::npos) << error;
    }
    // The line is named.
    EXPECT_FALSE(
        skin::ParseSkinTable("# a\nicons x 1x1 app_icon .png\nicons y 1x1\n", &entries, &error));
    EXPECT_EQ(error.rfind("line 3:", 0), 0u) << error;
}

TEST(SkinTable, ArtistRejectsAnUnknownDrawing) {
    std::vector<Entry> entries;
    std::string error;
    ASSERT_TRUE(
        skin::ParseSkinTable("Skin/Control ZoomIn 32x32 teapot Normal\n", &entries, &error));
    skin::SkinArtist artist(entries);
    EXPECT_FALSE(artist.Check(&error));
    EXPECT_NE(error.find("teapot"), std::string::npos) << error;
    EXPECT_TRUE(artist.Draw(entries[0], entries[0].faces[0], &error).isNull());
    // A background row used as a button is refused as well.
    ASSERT_TRUE(
        skin::ParseSkinTable("Skin/BackGround Left 64x64 bg_left Normal\n", &entries, &error));
    skin::SkinArtist background(entries);
    EXPECT_TRUE(background.Draw(entries[0], entries[0].faces[0], &error).isNull());
    EXPECT_NE(error.find("no button"), std::string::npos) << error;
}

TEST(SkinFiles, TableHoldsEveryFileThePanelsLoad) {
    std::set<std::string> files;
    for (const Entry& entry : Table()) {
        for (const Face& face : entry.faces) {
            const std::string path = entry.folder + "/" + face.file;
            EXPECT_TRUE(files.insert(path).second) << "twice: " << path;
        }
    }
    std::vector<std::string> wanted = {
        "Skin/LeftDlg/Capture_Normal.bmp",
        "Skin/LeftDlg/Capture_MouseOver.bmp",
        "Skin/LeftDlg/Capture_Gray.bmp",
        "Skin/LeftDlg/Record_Normal1.bmp",
        "Skin/LeftDlg/Record_MouseOver1.bmp",
        "Skin/LeftDlg/Record_Normal2.bmp",
        "Skin/LeftDlg/Record_MouseOver2.bmp",
        "Skin/LeftDlg/Record_ClickDown.bmp",
        "Skin/LeftDlg/Record_Gray.bmp",
        "Skin/LeftDlg/Control_Normal1.bmp",
        "Skin/LeftDlg/Control_MouseOver1.bmp",
        "Skin/LeftDlg/Control_Normal2.bmp",
        "Skin/LeftDlg/Control_MouseOver2.bmp",
        "Skin/LeftDlg/Control_Gray.bmp",
        "Skin/LeftDlg/Graphic_Normal1.bmp",
        "Skin/LeftDlg/Graphic_MouseOver1.bmp",
        "Skin/LeftDlg/Graphic_Normal2.bmp",
        "Skin/LeftDlg/Graphic_MouseOver2.bmp",
        "Skin/LeftDlg/Graphic_Gray.bmp",
        "Skin/LeftDlg/Setting_Normal1.bmp",
        "Skin/LeftDlg/Setting_Normal2.bmp",
        "Skin/LeftDlg/Setting_ClickDown.bmp",
        "Skin/LeftDlg/Setting_Gray.bmp",
        "Skin/LeftDlg/Logo.bmp",
        "Skin/Setting/Capture.bmp",
        "Skin/Setting/Record.bmp",
        "Skin/BackGround/Left.bmp",
        "Skin/BackGround/Top1.bmp",
        "Skin/BackGround/Right.bmp",
        "Skin/BackGround/Setting.bmp",
        "Skin/BackGround/Main.bmp",
    };
    const char* states[] = {"Normal", "MouseOver", "ClickDown", "Gray"};
    const std::pair<const char*, std::vector<const char*>> buttons[] = {
        {"Skin/Control",
         {"ZoomIn", "ZoomOut", "FocusFar", "FocusNear", "BrightMore", "BrightLess", "SharpMore",
          "SharpLess", "RedMore", "RedLess", "BlueMore", "BlueLess", "Atuo", "Mirror", "Color",
          "Neg"}},
        {"Skin/Graphic",
         {"Select", "Line", "Rectangle", "Cricle", "Curve", "DefaultSet", "Property", "Delete",
          "Clear", "Text", "Arrow", "Highlighter", "Eraser"}},
        {"Skin/Setting", {"Browse", "Save", "Cancel"}},
    };
    for (const auto& [folder, names] : buttons)
        for (const char* name : names)
            for (const char* state : states)
                wanted.push_back(std::string(folder) + "/" + name + "_" + state + ".bmp");
    for (int size : {16, 32, 48, 64, 128, 256})
        wanted.push_back("icons/tovekcamera-" + std::to_string(size) + ".png");
    for (const std::string& path : wanted)
        EXPECT_EQ(files.count(path), 1u) << "missing from the table: " << path;
}

TEST(SkinFiles, EveryFileIsAReadableImageOfItsSize) {
    for (const Entry& entry : Table()) {
        for (const Face& face : entry.faces) {
            SCOPED_TRACE(PathOf(entry, face).toStdString());
            QImageReader reader(PathOf(entry, face));
            const bool png = face.file.ends_with(".png");
            ASSERT_EQ(reader.format(), png ? QByteArray("png") : QByteArray("bmp"));
            const QImage image = reader.read();
            ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
            EXPECT_EQ(image.size(), QSize(entry.width, entry.height));
            if (png) {
                // An icon: see-through around the drawing, solid in it.
                EXPECT_TRUE(image.hasAlphaChannel());
                EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
                // The middle of the base the camera stands on.
                EXPECT_EQ(qAlpha(image.pixel(entry.width / 2, entry.height * 86 / 100)), 255);
                continue;
            }
            // A Windows bitmap with 24 bits per pixel.
            QFile file(PathOf(entry, face));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray head = file.read(30);
            ASSERT_EQ(head.size(), 30);
            EXPECT_EQ(head.left(2), QByteArray("BM"));
            EXPECT_EQ(static_cast<uint8_t>(head[28]) | static_cast<uint8_t>(head[29]) << 8, 24);
        }
    }
}

TEST(SkinFiles, NoFileIsAFlatFill) {
    for (const Entry& entry : Table()) {
        for (const Face& face : entry.faces) {
            const QImage image = Load(entry, face);
            std::set<QRgb> colours;
            for (int y = 0; y < image.height() && colours.size() <= 16; ++y)
                for (int x = 0; x < image.width() && colours.size() <= 16; ++x)
                    colours.insert(image.pixel(x, y));
            EXPECT_GT(colours.size(), 16u) << PathOf(entry, face).toStdString();
        }
    }
}

TEST(SkinFiles, StatesOfAButtonDifferAsAUserExpects) {
    for (const Entry& entry : Table()) {
        if (!entry.button)
            continue;
        SCOPED_TRACE(entry.folder + "/" + entry.name);
        std::vector<QImage> images;
        for (const Face& face : entry.faces)
            images.push_back(Load(entry, face));
        for (size_t i = 0; i < images.size(); ++i)
            for (size_t j = i + 1; j < images.size(); ++j)
                EXPECT_NE(images[i], images[j])
                    << entry.faces[i].file << " looks like " << entry.faces[j].file;

        // The plate inside its rim, and the middle where the picture is.
        const QRect plate(3, 3, entry.width - 6, entry.height - 6);
        const QRect middle(entry.width / 4, entry.height / 4, entry.width / 2, entry.height / 2);
        for (bool second : {false, true}) {
            const Face* normal = FindFace(entry, State::Normal, second);
            if (normal == nullptr)
                continue;
            const QImage base = Load(entry, *normal);
            if (const Face* over = FindFace(entry, State::MouseOver, second)) {
                EXPECT_GT(MeanLuminance(Load(entry, *over), plate), MeanLuminance(base, plate))
                    << over->file << " is not lighter";
            }
            if (const Face* down = FindFace(entry, State::ClickDown, second)) {
                EXPECT_LT(MeanLuminance(Load(entry, *down), plate), MeanLuminance(base, plate))
                    << down->file << " is not darker";
            }
        }
        if (const Face* gray = FindFace(entry, State::Gray, false)) {
            const QImage image = Load(entry, *gray);
            EXPECT_LE(MaxSaturation(image, middle), 2) << gray->file << " has colour";
            EXPECT_GT(MaxSaturation(Load(entry, entry.faces[0]), middle), 20)
                << entry.faces[0].file << " has no colour";
        }
    }
}

TEST(SkinFiles, IdleViewBackgroundMeetsTheViewFillAtItsEdges) {
    const QImage main(QString::fromStdString(Bin() + "Skin/BackGround/Main.bmp"));
    ASSERT_FALSE(main.isNull());
    const QRgb fill = qRgb(0x20, 0x20, 0x20);
    for (int x = 0; x < main.width(); x += 7) {
        EXPECT_EQ(main.pixel(x, 0), fill);
        EXPECT_EQ(main.pixel(x, main.height() - 1), fill);
    }
    for (int y = 0; y < main.height(); y += 7) {
        EXPECT_EQ(main.pixel(0, y), fill);
        EXPECT_EQ(main.pixel(main.width() - 1, y), fill);
    }
    EXPECT_NE(main.pixel(main.width() / 2, main.height() / 2), fill);
}

} // namespace
