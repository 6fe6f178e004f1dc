// skin_generator <table> <output folder> [--sheet <png>]
//
// Draws every file of the skin table into the output folder (the folder of
// the program), creating the table's sub-folders. With --sheet it also writes
// one contact sheet of all files, for looking them over. Exits with 1 and a
// message on the first failure; a file is replaced only once it is complete.
#include "SkinArt.h"
#include "SkinTable.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSaveFile>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "skin_generator: %s\n", message.c_str());
    return 1;
}

bool Save(const QImage& image, const QString& path, std::string* error) {
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        *error = "cannot create " + info.absolutePath().toStdString();
        return false;
    }
    const bool png = path.endsWith(QStringLiteral(".png"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, png ? "PNG" : "BMP") ||
        !file.commit()) {
        *error = "cannot write " + path.toStdString() + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}

// All drawn files on grey, the files of one table row side by side and rows
// flowing across the sheet; small ones doubled, big ones shrunk.
QImage ContactSheet(const std::vector<std::vector<QImage>>& rows) {
    constexpr int kGap = 8, kWidth = 1400;
    struct Placed {
        QImage image;
        QPoint at;
    };
    std::vector<Placed> placed;
    int x = kGap, y = kGap, line_height = 0;
    for (const auto& row : rows) {
        std::vector<QImage> shown;
        int row_width = 0;
        for (const QImage& image : row) {
            QImage one = image;
            if (image.width() <= 64 && image.height() <= 64)
                one = image.scaled(image.size() * 2);
            else if (image.width() > 600 || image.height() > 300)
                one = image.scaled(QSize(600, 300), Qt::KeepAspectRatio, Qt::SmoothTransformation);
            row_width += one.width() + kGap;
            shown.push_back(one);
        }
        if (x + row_width > kWidth && x > kGap) {
            x = kGap;
            y += line_height + kGap;
            line_height = 0;
        }
        for (const QImage& one : shown) {
            placed.push_back({one, QPoint(x, y)});
            x += one.width() + kGap;
            line_height = std::max(line_height, one.height());
        }
        x += 2 * kGap;
    }
    QImage sheet(kWidth, y + line_height + kGap, QImage::Format_RGB32);
    sheet.fill(QColor(0x90, 0x90, 0x90));
    QPainter painter(&sheet);
    for (const Placed& one : placed)
        painter.drawImage(one.at, one.image);
    return sheet;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && !(argc == 5 && std::strcmp(argv[3], "--sheet") == 0))
        return Fail("usage: skin_generator <table> <output folder> [--sheet <png>]");
    std::vector<skin::Entry> table;
    std::string error;
    if (!skin::ReadSkinTable(argv[1], &table, &error))
        return Fail(error);
    skin::SkinArtist artist(table);
    if (!artist.Check(&error))
        return Fail(error);

    const QString out = QString::fromLocal8Bit(argv[2]);
    std::vector<std::vector<QImage>> drawn;
    for (const skin::Entry& entry : table) {
        drawn.emplace_back();
        for (const skin::Face& face : entry.faces) {
            const QImage image = artist.Draw(entry, face, &error);
            if (image.isNull())
                return Fail(error);
            const QString path = out + "/" + QString::fromStdString(entry.folder) + "/" +
                                 QString::fromStdString(face.file);
            if (!Save(image, path, &error))
                return Fail(error);
            drawn.back().push_back(image);
        }
    }
    if (argc == 5 && !Save(ContactSheet(drawn), QString::fromLocal8Bit(argv[4]), &error))
        return Fail(error);
    return 0;
}
