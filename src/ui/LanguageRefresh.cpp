// The window's texts in the chosen language: the menu, the icon bar and the tab buttons, the
// footer's buttons, and the refresh of every view when the language changes.
#include "ui/MainMenu.h"

#include "config/LanguageConfig.h"
#include "records/BrimleyAppDelegate.h"
#include "ui/Dialogs.h"
#include "ui/HomeScreen.h"
#include "ui/NamedWidgets.h"
#include "ui/OwnWidgets.h"
#include "ui/TitleAdapters.h"
#include "ui/ToolkitTexts.h"

using TitleAdapters::ApplyTitle;
using TitleAdapters::kBlack;
using TitleAdapters::kWhite;
using TitleAdapters::SetText;
using TitleAdapters::ToQString;
namespace TH = TitleHelpers;

using NamedWidgets::Named;
using NamedWidgets::Texts;

namespace {

constexpr TitleColor kWhiteTitle = kWhite;

}  // namespace

void MainMenu::setTabButtonTitle() {
    LanguageConfig& texts = Texts();
    for (auto& [tab, caption] : captions_) {
        const UiTab* entry = UiTabFor(tab);
        const QString text = ToQString(texts.text(*entry->caption));
        caption->setText(text);
        SMNSbutton* control = iconControls_[tab];
        control->tooltipString = text;
        control->whatsAppText = ToQString(texts.CommonWhatsApp());
        control->setAccessibleName(text);
    }
    // The buttons of the other screens name their screen.
    const std::pair<TabTag, OptString> names[] = {
        {TabTag::TabTagDashboard, texts.TabSummary()},     {TabTag::TabTagDeviceInfo, texts.TabDeviceInfo()},
        {TabTag::TabTagApps, texts.TabApplications()},     {TabTag::TabTagDictionary, texts.TabUserDictionary()},
        {TabTag::TabTagMap, texts.TabMaps()},              {TabTag::TabTagSkype, texts.TabSkype()},
        {TabTag::TabTagIMessage, texts.TabIMessage()},     {TabTag::TabTagFaceTime, texts.TabFaceTime()},
    };
    for (const auto& [tab, text] : names)
        if (QToolButton* button = tabButton(tab)) {
            button->setToolTip(ToQString(text));
            button->setAccessibleName(ToQString(text));
        }
    TitleAdapters::SetPlaceholder(_searchField, texts.CommonSearch());
    SetText(showonlydeleteddata, texts.ShowOnlyDeletedData());
    ApplyTitle(btnApp, TH::setButtonTitleForWithPadding(texts.btnSendDataText(), kWhiteTitle, 14.0f, 10));
    btnApp->setToolTip(ToQString(texts.btnSendDataText()));
    SetText(recoveringText, texts.LoadingDataPanelControlViewMainText());
    if (auto* loading = viewRecovery->findChild<QLabel*>("loadingText"))
        SetText(loading, texts.LoadingDataPanelControlViewMainText());
    ApplyTitle(stopRecovery, TH::setButtonTitleForWithPadding(texts.CommonCancel(), kWhiteTitle, 14.0f, 8));
    stopRecovery->setToolTip(ToQString(texts.CommonCancel()));
    ApplyTitle(btnExport, TH::setButtonTitleForWithPadding(texts.btnExportDataText(), kWhiteTitle, 14.0f, 8));
    btnExport->setToolTip(ToQString(texts.btnExportDataText()));
    ApplyTitle(btnNewScan, TH::setButtonTitleFor(texts.CommonStartScan(), kWhiteTitle));
    ApplyTitle(btnStart, TH::setButtonTitleFor(texts.CommonStartScan(), kWhiteTitle));
    ApplyTitle(btnExportPhotos, TH::setButtonTitleFor(texts.CommonExport(), kWhiteTitle));
    for (auto& [tab, control] : iconControls_) control->addHoverEventForButton();
}

void MainMenu::setMenuItemsName() {
    LanguageConfig& texts = Texts();
    ApplyTitle(btnHelpMenu, TH::setButtonTitleFor(texts.MenuItemHelp(), kWhiteTitle));
    ApplyTitle(btnShare, TH::setButtonTitleFor(texts.MenuItemShare(), kWhiteTitle));
    ApplyTitle(btnFeedBack, TH::setButtonTitleFor(texts.MenuItemFeedback(), kWhiteTitle));
    ApplyTitle(btnAbout, TH::setButtonTitleFor(texts.MenuItemAbout(), kWhiteTitle));
    ApplyTitle(btnuserGuide, TH::setButtonTitleFor(texts.MenuItemUserGuide(), kWhiteTitle));
    ApplyTitle(btnChangLanguage, TH::setButtonTitleFor(texts.MenuItemChangeLanguage(), kWhiteTitle));
    ApplyTitle(btnUpdate, TH::setButtonTitleFor(texts.MenuItemCheckForUpdates(), kWhiteTitle));
    for (QPushButton* entry : {btnHelpMenu, btnShare, btnFeedBack, btnAbout, btnuserGuide, btnChangLanguage, btnUpdate})
        entry->setStyleSheet(entry->styleSheet() + QStringLiteral(" text-align: left;"));
    ApplyTitle(camera, TH::setButtonTitleFor(texts.colCameraRoll(), kBlack));
    camera->setToolTip(ToQString(texts.colCameraRoll()));
    ApplyTitle(otherPictures, TH::setButtonTitleFor(texts.colPhotoStream(), kBlack));
    otherPictures->setToolTip(ToQString(texts.colPhotoStream()));
    for (QPushButton* source : {camera, otherPictures}) source->setProperty("iconOnly", true);
    tickAllCameraPhoto_->setText(ToQString(texts.CommonSelect()));
    boxMenu->adjustSize();
    setTabButtonTitle();
    refreshTabButtons();
}

void MainMenu::UpdateAllViewsOnLanguageChange() {
    ToolkitTexts::load();
    if (infoReaderViewController) infoReaderViewController->setLanguageForOutlates();
    setMenuItemsName();
    setTabButtonTitle();
    // The small windows still open (the report, the feedback, the device help...) follow too.
    for (QDialog* dialog : findChildren<QDialog*>())
        if (auto* small = dynamic_cast<SmallDialog*>(dialog)) small->windowDidLoad();
    // The screens of the results read their texts when they are made: they are made again, and
    // the open one comes back with its search and its filter. The home screen stays in place.
    const TabTag open = static_cast<TabTag>(record_.tabItem.load());
    const bool reopen = record_.PresentScreen == ToCode(ScreenState::ScreenResults) && UiTabFor(open);
    const QString searched = _searchField->text();
    int segment = -1;
    if (auto* list = dynamic_cast<ListScreen*>(viewController_.data()); list && list->segmentedControl)
        segment = list->segmentedControl->selectedSegment();
    if (currentChild_ != infoReaderViewController) takeFromChildView();
    viewController_ = nullptr;
    for (auto& [tab, screen] : screens_)
        if (screen) screen->deleteLater();
    screens_.clear();
    if (!reopen) return;
    record_.tabItem = 0;
    onTabSelectionChanged(open);
    if (auto* list = dynamic_cast<ListScreen*>(viewController_.data());
        list && list->segmentedControl && segment >= 0 && list->segmentedControl->selectedSegment() != segment)
        list->segmentedControl->segment(segment)->click();
    if (!searched.isEmpty() && !_searchField->isHidden()) _searchField->setText(searched);
}

void MainMenu::showLanWindow() {
    hideMenus();
    openSingle<LangaugeWindowController>(lanWindow, [this] { UpdateAllViewsOnLanguageChange(); }, this);
}
