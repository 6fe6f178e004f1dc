#include "window/MainMenu.h"

#include "common/CommandIds.h"
#include "common/DlgItem.h"
#include "common/LangText.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>
#include <iterator>

namespace {

struct Item {
    uint32_t id;
    const char16_t* text;
    const char* shortcut;
};

// In menu order.
constexpr Item kControlItems[] = {
    {36797, u"Zoom &in\tCtrl+I", "Ctrl+I"},     {36798, u"Zoom &out\tCtrl+O", "Ctrl+O"},
    {36801, u"Focus fa&r\tCtrl+R", "Ctrl+R"},   {36802, u"Focus &near\tCtrl+N", "Ctrl+N"},
    {36799, u"&Bright more\tCtrl+B", "Ctrl+B"}, {36800, u"Bright &less\tCtrl+L", "Ctrl+L"},
    {36803, u"A&uto\tCtrl+U", "Ctrl+U"},        {36804, u"&Mirror\tCtrl+M", "Ctrl+M"},
    {36805, u"Mono/Color\tCtrl+K", "Ctrl+K"},   {36806, u"Ne&g\tCtrl+G", "Ctrl+G"},
};

constexpr const char16_t* kZoomTexts[] = {u"Actual Size", u"Fit Height", u"Fit Width",
                                          u"Fit Window", u"Fit Image"};
static_assert(std::size(kZoomTexts) == cmd::kZoomCount);

QString Q(const char16_t* text) {
    return QString::fromUtf16(text);
}

} // namespace

MainMenu::MainMenu(QWidget* owner, HLANGCTX lang, std::function<void(uint32_t)> on_command)
    : lang_(lang), on_command_(std::move(on_command)) {
    bar_ = new QMenuBar(owner);

    // Position 0.
    QMenu* file = bar_->addMenu(Q(u"&File"));
    AddCommand(file, cmd::kPlay, u"&Play\tCtrl+P", "Ctrl+P");
    AddCommand(file, cmd::kStop, u"S&top\tCtrl+T", "Ctrl+T");
    AddCommand(file, cmd::kCapture, u"Captur&e\tCtrl+E", "Ctrl+E");
    file->addSeparator();
    AddCommand(file, cmd::kStartRecord, u"&Start Record");
    AddCommand(file, cmd::kStopRecord, u"Stop &Record");
    AddCommand(file, cmd::kStartTimeLapse, u"Start T&ime-lapse...");
    AddCommand(file, cmd::kStopTimeLapse, u"Stop Time-&lapse");
    // Enabled by the main window, which knows the captures.
    AddCommand(file, cmd::kExportPdf, u"Export to P&DF...");
    // Checked while sharing; the window keeps the mark.
    AddCommand(file, cmd::kShare, u"S&hare With Class...")->setCheckable(true);
    file->addSeparator();
    AddCommand(file, cmd::kSetting, u"Se&tting");
    file->addSeparator();
    AddCommand(file, cmd::kExit, u"E&xit");

    // Position 1. Its keys answer in the key router, also in full screen:
    // the menu only labels them.
    QMenu* edit = bar_->addMenu(Q(u"&Edit"));
    edit->menuAction()->setProperty(kLangPositionProperty, res::kEditMenuLanguageKey);
    AddCommand(edit, cmd::kUndo, u"&Undo\tCtrl+Z");
    AddCommand(edit, cmd::kRedo, u"&Redo\tCtrl+Y");
    edit->addSeparator();
    AddCommand(edit, cmd::kClearAnnotations, u"&Clear Annotations");
    AddCommand(edit, cmd::kHideAnnotations, u"&Hide Annotations\tCtrl+H")->setCheckable(true);
    edit->addSeparator();
    AddCommand(edit, cmd::kCopyText, u"Copy &Text\tCtrl+Shift+C");

    // Position 2 (language files: P1).
    QMenu* view = bar_->addMenu(Q(u"&View"));
    QAction* full =
        AddCommand(view, cmd::kFullScreen, u"Full Screen\tCtrl+Shift+Enter", "Ctrl+Shift+Return");
    full->setCheckable(true);
    QMenu* zoom = view->addMenu(Q(u"Zoom"));
    zoom_group_ = new QActionGroup(bar_);
    for (uint32_t mode = 0; mode < cmd::kZoomCount; ++mode) {
        QAction* item = AddCommand(zoom, cmd::kZoomFirst + mode, kZoomTexts[mode]);
        item->setCheckable(true);
        zoom_group_->addAction(item);
    }
    view->addSeparator();
    // Their keys answer on release, in the key router, also in full screen.
    AddCommand(view, cmd::kFreeze, u"&Freeze\tCtrl+F", "Ctrl+F")->setCheckable(true);
    AddCommand(view, cmd::kRotateRight, u"Rotate &Right\tF8", "F8");
    AddCommand(view, cmd::kRotateLeft, u"Rotate &Left\tF7", "F7");
    // B and "." in the key router; the menu labels them.
    AddCommand(view, cmd::kBlank, u"&Blank Screen\tB")->setCheckable(true);
    // Esc ends either, in the key router.
    AddCommand(view, cmd::kSpotlight, u"&Spotlight")->setCheckable(true);
    AddCommand(view, cmd::kCurtain, u"&Curtain")->setCheckable(true);
    view->addSeparator();
    // The window sets their marks (GalleryHandlers.cpp); Esc ends a compare.
    AddCommand(view, cmd::kGallery, u"&Gallery\tCtrl+J", "Ctrl+J")->setCheckable(true);
    AddCommand(view, cmd::kCompare, u"Com&pare\tCtrl+D", "Ctrl+D")->setCheckable(true);
    view->addSeparator();
    // The window sets their marks and enables them (PageHandlers.cpp).
    AddCommand(view, cmd::kPageMode, u"Page &Mode\tF6", "F6")->setCheckable(true);
    AddCommand(view, cmd::kDocumentFilter, u"&Document Filter\tShift+F6", "Shift+F6")
        ->setCheckable(true);
    AddCommand(view, cmd::kResetPage, u"R&eset Page");

    // Position 3 (P2): filled by the localisation library.
    QMenu* language = bar_->addMenu(Q(u"Language"));
    uint32_t language_count = 0;
    LangFillMenu(lang_, language, &language_count);
    QObject::connect(language, &QMenu::triggered, bar_, [this](QAction* action) {
        bool ok = false;
        const uint32_t id = action->data().toUInt(&ok);
        if (ok && id >= cmd::kLanguageFirst && id <= cmd::kLanguageLast)
            on_command_(id);
    });

    // Position 4 (P3).
    QMenu* control = bar_->addMenu(Q(u"&Control"));
    for (const Item& item : kControlItems)
        AddCommand(control, item.id, item.text, item.shortcut);

    // Position 5 (P4): the device catalogue replaces "None" and appends its entries.
    QMenu* device = bar_->addMenu(Q(u"Device"));
    device_group_ = new QActionGroup(bar_);
    QAction* none = AddCommand(device, cmd::kDeviceFirst, u"None");
    none->setCheckable(true);
    none->setChecked(true);
    device_group_->addAction(none);

    // Position 6 (P5).
    QMenu* help = bar_->addMenu(Q(u"&Help"));
    AddCommand(help, cmd::kHelp, u"&Lumivue Help\tF1", "F1");
    help->addSeparator();
    AddCommand(help, cmd::kAbout, u"&About Lumivue");

    Translate();
}

QAction* MainMenu::AddCommand(QMenu* menu, uint32_t id, const char16_t* text,
                              const char* shortcut) {
    QAction* action = menu->addAction(Q(text));
    action->setData(id);
    if (shortcut != nullptr)
        action->setShortcut(QKeySequence(QString::fromLatin1(shortcut)));
    QObject::connect(action, &QAction::triggered, bar_, [this, id] { on_command_(id); });
    return action;
}

namespace {

// The id an item stands for; false for submenus and items without one.
bool CommandOf(const QAction* action, uint32_t* id) {
    bool ok = false;
    *id = action->data().toUInt(&ok);
    return ok && action->menu() == nullptr;
}

} // namespace

QAction* MainMenu::FindCommand(uint32_t id) const {
    uint32_t named = 0;
    const auto hit = index_.find(id);
    if (hit != index_.end() && hit->second && CommandOf(hit->second, &named) && named == id)
        return hit->second;
    // Missing or stale: the first item of the bar with that id, as the
    // walk meets them.
    index_.clear();
    for (QAction* action : bar_->findChildren<QAction*>()) {
        if (CommandOf(action, &named))
            index_.emplace(named, action);
    }
    const auto found = index_.find(id);
    return found != index_.end() ? found->second.data() : nullptr;
}

QMenu* MainMenu::SubMenu(int position) const {
    const QList<QAction*> top = bar_->actions();
    return position >= 0 && position < top.size() ? top.at(position)->menu() : nullptr;
}

int MainMenu::FillDevices(const std::vector<QString>& labels) {
    QMenu* device = SubMenu(res::kDeviceMenuPosition);
    device_items_ = 0;
    for (size_t i = 0; i < labels.size(); ++i) {
        const uint32_t id = cmd::kDeviceFirst + static_cast<uint32_t>(i);
        if (id > cmd::kDeviceLast)
            break;
        QAction* item = i == 0 ? FindCommand(cmd::kDeviceFirst) : AddCommand(device, id, u"");
        item->setText(labels[i]);
        SetFixedText(item);
        item->setCheckable(true);
        device_group_->addAction(item);
        ++device_items_;
    }
    return device_items_;
}

void MainMenu::CheckDevice(uint32_t id) {
    if (QAction* item = FindCommand(id))
        item->setChecked(true);
}

int MainMenu::SelectStoredDevice(uint32_t stored) {
    if (device_items_ == 0)
        return -1;
    const bool valid = stored >= cmd::kDeviceFirst &&
                       stored <= cmd::kDeviceFirst + static_cast<uint32_t>(device_items_) - 1;
    const uint32_t select = valid ? stored : cmd::kDeviceFirst;
    CheckDevice(select);
    return static_cast<int>(select - cmd::kDeviceFirst);
}

void MainMenu::Enable(uint32_t id, bool enabled) const {
    if (QAction* item = FindCommand(id))
        item->setEnabled(enabled);
}

void MainMenu::Apply(const MenuState& s) {
    const bool running = s.attached && s.playing;
    // A Stop during a Play's settle ends it; a second Play would add nothing.
    Enable(cmd::kPlay, !running && !s.starting && s.attached);
    Enable(cmd::kStop, running || (s.attached && s.starting));
    Enable(cmd::kCapture, running);
    Enable(cmd::kStartRecord, running && !s.recording);
    Enable(cmd::kStopRecord, running && s.recording);
    Enable(cmd::kStartTimeLapse, running && !s.time_lapse);
    Enable(cmd::kStopTimeLapse, s.time_lapse); // also while the camera is away
    Enable(cmd::kSetting, running && !s.recording);

    Enable(cmd::kFullScreen, s.playing);
    if (QAction* full = FindCommand(cmd::kFullScreen))
        full->setChecked(s.full_screen);
    Enable(cmd::kFreeze, s.playing);
    if (QAction* freeze = FindCommand(cmd::kFreeze))
        freeze->setChecked(s.frozen);
    Enable(cmd::kRotateRight, s.playing);
    Enable(cmd::kRotateLeft, s.playing);
    for (uint32_t mode = 0; mode < cmd::kZoomCount; ++mode) {
        Enable(cmd::kZoomFirst + mode, s.playing);
        if (mode == s.zoom_mode)
            FindCommand(cmd::kZoomFirst + mode)->setChecked(true);
    }
    // The Control items carry a check mark while the view fills the screen.
    for (uint32_t id = cmd::kControlFirst; id <= cmd::kControlLast; ++id) {
        if (QAction* item = FindCommand(id)) {
            item->setEnabled(s.playing);
            item->setCheckable(s.full_screen);
            item->setChecked(s.full_screen);
        }
    }
    Enable(cmd::kBlank, s.playing);
    if (QAction* blank = FindCommand(cmd::kBlank))
        blank->setChecked(s.blanked);
    Enable(cmd::kSpotlight, s.playing);
    Enable(cmd::kCurtain, s.playing);
    if (QAction* spotlight = FindCommand(cmd::kSpotlight))
        spotlight->setChecked(s.spotlight);
    if (QAction* curtain = FindCommand(cmd::kCurtain))
        curtain->setChecked(s.curtain);
    Enable(cmd::kUndo, s.playing && s.can_undo);
    Enable(cmd::kRedo, s.playing && s.can_redo);
    Enable(cmd::kClearAnnotations, s.playing && s.has_shapes);
    Enable(cmd::kHideAnnotations, s.playing);
    if (QAction* hide = FindCommand(cmd::kHideAnnotations))
        hide->setChecked(s.annotations_hidden);

    for (int i = 0; i < std::max(device_items_, 1); ++i)
        Enable(cmd::kDeviceFirst + static_cast<uint32_t>(i), !s.playing && s.device_index != -1);
}

void MainMenu::Translate() {
    LangTranslateMenu(lang_, bar_, res::kMainMenu);
    bar_->update();
}

bool MainMenu::SelectLanguage(uint32_t id) {
    // LangFillMenu's items are checkable, so Qt has already toggled the item
    // that was clicked; what counts is whether it is the current language.
    if (id == LangCurrentCommandId(lang_)) {
        if (QAction* item = FindCommand(id))
            item->setChecked(true);
        return false;
    }
    if (!LangSelect(lang_, bar_, id))
        return false;
    Translate();
    return true;
}

void TranslateOtherWindows(HLANGCTX lang, const QWidget* main, const QMenuBar* main_menu) {
    for (QWidget* widget : QApplication::allWidgets()) {
        bool ok = false;
        const uint32_t menu_id = widget->property(kMenuIdProperty).toUInt(&ok);
        if (ok && menu_id != 0 && widget != main_menu) {
            LangTranslateMenu(lang, widget, menu_id);
            continue;
        }
        // Hidden panels too (the tool bar column): they show later as they are.
        const uint32_t dialog_id = widget->property(kDialogIdProperty).toUInt(&ok);
        if (ok && dialog_id != 0 && widget != main)
            LangTranslateDialog(lang, widget, dialog_id);
    }
    // Texts given by their English words: tooltips, labels without an id.
    for (QWidget* window : QApplication::topLevelWidgets())
        TranslateKeyedTexts(lang, window);
}
