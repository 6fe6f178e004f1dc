#include "widgets/GalleryStrip.h"

#include "common/CrossThreadEvent.h"
#include "common/LangText.h"
#include "widgets/MessageBox.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Posted by the cache's worker when a thumbnail is ready.
const QEvent::Type kThumbnailReady = static_cast<QEvent::Type>(QEvent::registerEventType());

constexpr int kCellWidth = 150;
constexpr int kCellHeight = 104;
constexpr int kLabelHeight = 16;

QString Q(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

} // namespace

// The list as Qt's views see it; the delegate paints from the cache.
class GalleryItemModel final : public QAbstractListModel {
public:
    GalleryItemModel(const GalleryList& list, QObject* parent)
        : QAbstractListModel(parent), list_(list) {}
    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(list_.Entries().size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount({}))
            return {};
        const std::string& path = list_.Entries()[static_cast<size_t>(index.row())].path;
        if (role == Qt::DisplayRole)
            return QFileInfo(Q(path)).completeBaseName();
        if (role == Qt::ToolTipRole || role == Qt::UserRole)
            return Q(path);
        return {};
    }
    void Reset() {
        beginResetModel();
        endResetModel();
    }

private:
    const GalleryList& list_;
};

namespace {

// A picture frame with a crack through it: the file is no readable JPEG.
void PaintBroken(QPainter& painter, const QRect& box) {
    const QRect frame =
        box.adjusted(box.width() / 4, box.height() / 5, -box.width() / 4, -box.height() / 5);
    painter.setPen(QPen(QColor(120, 120, 120), 2));
    painter.setBrush(QColor(235, 235, 235));
    painter.drawRect(frame);
    painter.setPen(QPen(QColor(190, 0, 0), 2));
    const QPoint a(frame.center().x() - 4, frame.top());
    const QPoint b(frame.center().x() + 5, frame.center().y() - 3);
    const QPoint c(frame.center().x() - 5, frame.center().y() + 4);
    const QPoint d(frame.center().x() + 3, frame.bottom());
    painter.drawPolyline(QList<QPoint>{a, b, c, d});
}

class ThumbnailDelegate final : public QStyledItemDelegate {
public:
    ThumbnailDelegate(ThumbnailCache& cache, QObject* parent)
        : QStyledItemDelegate(parent), cache_(cache) {}
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(kCellWidth, kCellHeight);
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QRect cell = option.rect.adjusted(3, 3, -3, -3);
        painter->save();
        const bool chosen = option.state & QStyle::State_Selected;
        painter->fillRect(option.rect, chosen ? option.palette.highlight() : QColor(40, 40, 40));
        const QRect box(cell.left(), cell.top(), cell.width(), cell.height() - kLabelHeight);
        const auto picture = cache_.Get(index.data(Qt::UserRole).toString().toStdString());
        if (picture == nullptr) {
            painter->fillRect(box, QColor(70, 70, 70)); // being made
        } else if (picture->Broken()) {
            PaintBroken(*painter, box);
        } else {
            const QImage image(picture->bgrx.data(), picture->width, picture->height,
                               picture->width * 4, QImage::Format_RGB32);
            QSize fitted = image.size().scaled(box.size(), Qt::KeepAspectRatio);
            QRect target(QPoint(0, 0), fitted);
            target.moveCenter(box.center());
            painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
            painter->drawImage(target, image);
        }
        painter->setPen(chosen ? option.palette.highlightedText().color() : QColor(230, 230, 230));
        painter->drawText(
            QRect(cell.left(), box.bottom() + 1, cell.width(), kLabelHeight),
            Qt::AlignCenter | Qt::TextSingleLine,
            option.fontMetrics.elidedText(index.data().toString(), Qt::ElideMiddle, cell.width()));
        painter->restore();
    }

private:
    ThumbnailCache& cache_;
};

} // namespace

GalleryStrip::GalleryStrip(HLANGCTX lang, QWidget* parent)
    : QWidget(parent), lang_(lang),
      cache_(std::make_unique<ThumbnailCache>(kThumbWidth, kThumbHeight)) {
    setObjectName(QStringLiteral("GalleryStrip"));
    cache_->SetNotifier(
        [this](const std::string&) { PostAcrossThreads(this, new QEvent(kThumbnailReady)); });
    model_ = new GalleryItemModel(list_, this);
    view_ = new QListView(this);
    view_->setObjectName(QStringLiteral("GalleryThumbnails"));
    view_->setViewMode(QListView::IconMode);
    view_->setFlow(QListView::LeftToRight);
    view_->setWrapping(false);
    view_->setMovement(QListView::Static);
    view_->setUniformItemSizes(true);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view_->setSpacing(2);
    view_->setStyleSheet(QStringLiteral("QListView { background: #202020; }"));
    view_->setModel(model_);
    view_->setItemDelegate(new ThumbnailDelegate(*cache_, view_));
    connect(view_, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (!(QApplication::keyboardModifiers() & (Qt::ControlModifier | Qt::ShiftModifier)) &&
            on_open_)
            on_open_(index.data(Qt::UserRole).toString().toStdString());
    });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection&) {
                // More than a comparison shows: the newest picks are undone.
                if (view_->selectionModel()->selectedRows().size() > kMaxChosen)
                    view_->selectionModel()->select(selected, QItemSelectionModel::Deselect);
                OnSelectionChanged();
            });

    open_folder_ = new QPushButton(this);
    open_folder_->setObjectName(QStringLiteral("GalleryOpenFolder"));
    SetLangText(lang_, open_folder_, QStringLiteral("Open Folder"));
    connect(open_folder_, &QPushButton::clicked, this, [this] { OpenFolder(); });
    delete_ = new QPushButton(this);
    delete_->setObjectName(QStringLiteral("GalleryDelete"));
    SetLangText(lang_, delete_, QStringLiteral("Delete"));
    connect(delete_, &QPushButton::clicked, this, [this] { DeleteCurrent(); });
    for (QPushButton* button : {open_folder_, delete_})
        button->setFocusPolicy(Qt::NoFocus);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(open_folder_);
    buttons->addWidget(delete_);
    buttons->addStretch(1);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(2, 2, 2, 2);
    row->addWidget(view_, 1);
    row->addLayout(buttons);
    setFixedHeight(kHeight);
}

GalleryStrip::~GalleryStrip() {
    cache_.reset(); // the worker stops before the view and model go
    delete view_;
}

void GalleryStrip::SetFolder(const std::string& folder) {
    cache_->CancelRequests();
    list_.SetFolder(folder);
    Rebuild();
}

void GalleryStrip::AddSnapshot(const std::string& path) {
    list_.AddSnapshot(path);
    // A picture of the same second was replaced whole.
    cache_->Forget(list_.Entries().front().path);
    Rebuild();
    view_->scrollToTop();
}

void GalleryStrip::Rebuild() {
    const std::vector<std::string> chosen = list_.ChosenInTimeOrder();
    QSignalBlocker block(view_->selectionModel());
    model_->Reset();
    for (const std::string& path : chosen) {
        const int row = list_.Find(path);
        if (row >= 0)
            view_->selectionModel()->select(model_->index(row), QItemSelectionModel::Select);
    }
    view_->viewport()->update();
}

void GalleryStrip::OnSelectionChanged() {
    std::vector<std::string> paths;
    for (const QModelIndex& index : view_->selectionModel()->selectedRows())
        paths.push_back(index.data(Qt::UserRole).toString().toStdString());
    list_.SetChosen(paths);
    if (on_chosen_)
        on_chosen_();
}

bool GalleryStrip::DeleteCurrent() {
    const QModelIndex current = view_->currentIndex();
    if (!current.isValid())
        return false;
    const QString path = current.data(Qt::UserRole).toString();
    const QString question = LangText(lang_, QStringLiteral("Move this picture to the trash?")) +
                             QStringLiteral("\n") + QFileInfo(path).fileName();
    if (MessageBox(this, question, window()->windowTitle(),
                   msgbox::kOkCancel | msgbox::kIconExclamation) != msgbox::kIdOk)
        return false;
    QFile file(path);
    if (!file.moveToTrash()) {
        MessageBox(this,
                   LangText(lang_, QStringLiteral("The picture could not be moved to the trash.")) +
                       QStringLiteral("\n") + path,
                   window()->windowTitle(), msgbox::kOk | msgbox::kIconExclamation);
        return false;
    }
    const std::string removed = path.toStdString();
    cache_->Forget(removed);
    list_.Remove(removed);
    Rebuild();
    if (on_deleted_)
        on_deleted_(removed);
    return true;
}

void GalleryStrip::OpenFolder() {
    if (list_.Folder().empty())
        return;
    QDir().mkpath(Q(list_.Folder()));
    QDesktopServices::openUrl(QUrl::fromLocalFile(Q(list_.Folder())));
}

bool GalleryStrip::HasKeyFocus() const {
    return isVisible() && view_->hasFocus();
}

QRect GalleryStrip::ItemRect(int row) const {
    return view_->visualRect(model_->index(row));
}

bool GalleryStrip::event(QEvent* event) {
    if (event->type() == kThumbnailReady) {
        ReceivedAcrossThreads(event);
        view_->viewport()->update();
        return true;
    }
    return QWidget::event(event);
}
