#include "ui/Dialogs.h"

#include "app/AnalyticsEvents.h"
#include "app/ScanReport.h"
#include "common/AppPaths.h"
#include "common/ApplicationDetailsUtil.h"
#include "config/ApplicationConfig.h"
#include "config/HttpGet.h"
#include "config/LanguageConfig.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "ui/NamedWidgets.h"
#include "ui/OwnWidgets.h"
#include "ui/TitleAdapters.h"

#include <QAbstractItemView>
#include <QDesktopServices>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QMessageBox>
#include <QUrl>
#include <QVBoxLayout>

#include <iostream>
#include <mutex>

using TitleAdapters::ApplyTitle;
using TitleAdapters::kBlue;
using TitleAdapters::kWhite;
using TitleAdapters::SetText;
using TitleAdapters::ToQString;
namespace TH = TitleHelpers;

using NamedWidgets::Texts;
using NamedWidgets::Label;
using NamedWidgets::Button;

namespace {

std::mutex gOpenerMutex;
Desktop::Opener gOpener;

// The product's web address at the end of the recommendation mail.
constexpr const char* kProductAddress = "https://www.example.com/torvane";
// The partner's web address behind the About window's second link.
constexpr const char* kPartnerAddress = "http://www.example.org/partner";

// Whether a line begins a list item: "- ", "* ", "\u2022 ", "1. " or "1) ".
bool BeginsListItem(const QString& line) {
    const QString text = line.trimmed();
    qsizetype digits = 0;
    while (digits < text.size() && text[digits].isDigit()) ++digits;
    const QString marker = digits > 0 ? text.mid(digits, 2) : text.left(2);
    if (digits > 0) return marker == QLatin1String(". ") || marker == QLatin1String(") ");
    return marker == QLatin1String("- ") || marker == QLatin1String("* ") || marker == QStringLiteral("\u2022 ");
}

// A plain text file wrapped at a fixed width, as one line per paragraph, so that the view
// wraps it to its own width: lines are joined within a paragraph; blank lines and list items
// start anew.
QString JoinWrappedLines(const QString& text) {
    QString joined;
    bool open = false;  // the last line added may be continued
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        const bool blank = line.trimmed().isEmpty();
        if (open && !blank && !BeginsListItem(line))
            joined += QLatin1Char(' ') + line.trimmed();
        else
            joined += (joined.isEmpty() && !open ? QString() : QStringLiteral("\n")) + line;
        open = !blank;
    }
    return joined;
}

}  // namespace

// ---- Desktop ----

namespace Desktop {

void setOpener(Opener opener) {
    std::lock_guard lock(gOpenerMutex);
    gOpener = std::move(opener);
}

bool open(const QUrl& address) {
    if (!address.isValid() || address.isEmpty()) return false;
    const QString scheme = address.scheme();
    if ((scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
        IsPlaceholderAddress(address.toString().toStdString())) {
        std::cerr << ("window: not opening the placeholder address " +
                      address.toString().toStdString() + "\n");
        return false;
    }
    Opener opener;
    {
        std::lock_guard lock(gOpenerMutex);
        opener = gOpener;
    }
    const bool opened = opener ? opener(address) : QDesktopServices::openUrl(address);
    if (!opened) std::cerr << ("window: nothing opened " + address.toString().toStdString() + "\n");
    return opened;
}

bool openOrTell(const QUrl& address, QWidget* parent, const QString& toCopy) {
    if (open(address)) return true;
    LanguageConfig& texts = LanguageConfig::sharedObject();
    // Why not: no address, one that leads nowhere, or no program that took it.
    QString text;
    const QString scheme = address.scheme();
    if (!address.isValid() || address.isEmpty())
        text = ToQString(texts.DesktopNoAddress().value_or("The page could not be opened: no address is set up for it."));
    else if ((scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
             IsPlaceholderAddress(address.toString().toStdString()))
        text = QString::fromStdString(FillPlaceholders(
            texts.DesktopPageNotOpened().value_or(
                "The page could not be opened: {0} is a placeholder address that leads to no page."),
            {address.toString().toStdString()}));
    else {
        text = ToQString(texts.DesktopNothingOpened());
        if (!toCopy.isEmpty())
            text += QStringLiteral("\n\n") + ToQString(texts.DesktopCopyTheAddress()) + QStringLiteral("\n") + toCopy;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("Torvane"), text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("nothingOpened"));
    // The address is there to be copied.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box.exec();
    if (parent && parent->isVisible()) {
        parent->raise();
        parent->activateWindow();
    }
    return false;
}

bool open(const QString& address) {
    if (address.trimmed().isEmpty()) return false;
    return open(QUrl(address.trimmed(), QUrl::StrictMode));
}

bool openConfigured(const std::optional<std::string>& configured) {
    const OptString resolved = ApplicationConfig::resolvedAddress(configured);
    return resolved && open(QString::fromStdString(*resolved));
}

QUrl mailAddress(const QString& recipient, const QString& subject, const QString& body) {
    // Every part is escaped whole, "&", "=" and "?" included, so a body that holds them
    // arrives as it was written.
    const auto escaped = [](const QString& text) {
        return QString::fromLatin1(QUrl::toPercentEncoding(text));
    };
    return QUrl(QStringLiteral("mailto:%1?SUBJECT=%2&BODY=%3")
                    .arg(escaped(recipient), escaped(subject), escaped(body)),
                QUrl::TolerantMode);
}

}  // namespace Desktop

// ---- Alerts ----

std::optional<std::size_t> AlertEscapeButton(const std::vector<std::string>& titles) {
    if (titles.size() == 1) return 0;
    const QString cancel = ToQString(LanguageConfig::sharedObject().CommonCancel());
    for (std::size_t i = 0; i < titles.size(); ++i) {
        const QString title = QString::fromStdString(titles[i]).trimmed();
        for (const QString& declines : {QStringLiteral("No"), QStringLiteral("Cancel"), QStringLiteral("Close"), cancel})
            if (!declines.isEmpty() && title.compare(declines, Qt::CaseInsensitive) == 0) return i;
    }
    return std::nullopt;
}

// ---- SmallDialog ----

SmallDialog::SmallDialog(QWidget* parent, const char* name) : QDialog(parent) {
    setObjectName(QString::fromLatin1(name));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setModal(false);
}

// ---- AboutWindow ----

namespace {

// A dialog's own close button, at the right of its last row.
QPushButton* AddCloseButton(QDialog* dialog, QBoxLayout* layout) {
    auto* button = new QPushButton(dialog);
    button->setObjectName(QStringLiteral("btnClose"));
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(button);
    layout->addLayout(row);
    QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::close);
    return button;
}

void TitleCloseButton(QPushButton* button) {
    const OptString text = LanguageConfig::sharedObject().CommonClose();
    ApplyTitle(button, TH::setButtonTitleFor(text ? text : OptString("Close"), kWhite, 14.0f));
    button->setToolTip(button->text());
}

}  // namespace

AboutWindow::AboutWindow(BrimleyAppDelegate& record, QWidget* parent)
    : SmallDialog(parent, "AboutWindow") {
    auto* layout = new QVBoxLayout(this);
    lblAboutWindowTitle = Label(this, "lblAboutWindowTitle");
    lblAboutWindowTitle->setProperty("heading", true);
    imgLogo = Label(this, "imgLogo", false);
    lblProductName = Label(this, "lblProductName");
    auto* versionRow = new QHBoxLayout;
    lblAboutVersion = Label(this, "lblAboutVersion", false);
    buildVersion = Label(this, "buildVersion", false);
    versionRow->addWidget(lblAboutVersion);
    versionRow->addWidget(buildVersion);
    versionRow->addStretch();
    lblAboutDescriptionLine1 = Label(this, "lblAboutDescriptionLine1");
    lblAboutDescriptionLine2 = Label(this, "lblAboutDescriptionLine2");
    lblAboutDescriptionLine3 = Label(this, "lblAboutDescriptionLine3");
    lblAboutDescriptionLine4 = Label(this, "lblAboutDescriptionLine4");
    lblAboutPoweredBy = Label(this, "lblAboutPoweredBy");
    hyperlink1 = Label(this, "hyperlink1", false);
    hyperlink2 = Label(this, "hyperlink2", false);
    lblAboutCopyright = Label(this, "lblAboutCopyright");
    txtEULA = new QTextBrowser(this);
    txtEULA->setObjectName("txtEULA");
    txtEULA->setMinimumHeight(140);
    auto* top = new QHBoxLayout;
    top->addWidget(imgLogo);
    auto* titles = new QVBoxLayout;
    titles->addWidget(lblAboutWindowTitle);
    titles->addWidget(lblProductName);
    titles->addLayout(versionRow);
    top->addLayout(titles, 1);
    layout->addLayout(top);
    for (QLabel* line : {lblAboutDescriptionLine1, lblAboutDescriptionLine2,
                         lblAboutDescriptionLine3, lblAboutDescriptionLine4, lblAboutPoweredBy})
        layout->addWidget(line);
    layout->addWidget(hyperlink1);
    layout->addWidget(hyperlink2);
    layout->addWidget(txtEULA, 1);
    layout->addWidget(lblAboutCopyright);
    btnClose = AddCloseButton(this, layout);

    // One version: the application's, as the product line names it, with its build number.
    const OptString version = ApplicationConfig::sharedObject().applicationVersion;
    const std::string build = ApplicationDetailsUtil::getBuildNumber();
    buildVersion->setText(version && !version->empty()
                              ? QString::fromStdString(*version + (build.empty() ? "" : " (" + build + ")"))
                              : QString::fromStdString(build));
    // The version line reads as one: the word and the number in one label.
    buildVersion->hide();
    windowDidLoad();
    const QString resources = QString::fromStdString(AppPaths::resourcesDirectory());
    imgLogo->setPixmap(QIcon(resources + "/icons/torvane.svg").pixmap(72, 72));
    lblProductName->setText(QString::fromStdString(record.Version.get()));
    const QString website = ToQString(ApplicationConfig::sharedObject().websiteUrl);
    for (QLabel* link : {hyperlink1, hyperlink2}) {
        link->setTextFormat(Qt::RichText);
        link->setTextInteractionFlags(Qt::TextBrowserInteraction);
        link->setOpenExternalLinks(false);
        connect(link, &QLabel::linkActivated, this, [](const QString& url) { Desktop::open(url); });
    }
    hyperlink1->setText(hyperlinkFromString(website, website));
    const QString partner = QString::fromLatin1(kPartnerAddress);
    hyperlink2->setText(hyperlinkFromString(partner.mid(7), partner));
    resize(520, 560);
}

void AboutWindow::windowDidLoad() {
    LanguageConfig& texts = Texts();
    SetText(lblAboutCopyright, texts.AboutDialogCopyrightText());
    // Each sentence of the description comes in two parts: it stands in one label, wrapped
    // to the window's width.
    const auto sentence = [](const OptString& first, const OptString& second) {
        return (ToQString(first).trimmed() + QLatin1Char(' ') + ToQString(second).trimmed()).trimmed();
    };
    lblAboutDescriptionLine1->setText(sentence(texts.AboutDialogMainTextPart1(), texts.AboutDialogMainTextPart2()));
    lblAboutDescriptionLine3->setText(
        sentence(texts.AboutDialogSubmainTextPart1(), texts.AboutDialogSubmainTextPart2()));
    for (QLabel* line : {lblAboutDescriptionLine2, lblAboutDescriptionLine4}) {
        line->clear();
        line->hide();
    }
    SetText(lblAboutPoweredBy, texts.AboutDialogPoweredByTitle());
    lblAboutVersion->setText((ToQString(texts.CommonVersion()).trimmed() + QLatin1Char(' ') + buildVersion->text()).trimmed());
    SetText(lblAboutWindowTitle, texts.AboutDialogWindowTitle());
    setWindowTitle(ToQString(texts.AboutDialogWindowTitle()));
    TitleCloseButton(btnClose);
    const QString resources = QString::fromStdString(AppPaths::resourcesDirectory());
    // The licence in the chosen language where there is one ("TM-640_EULA-Deutsch.txt"),
    // else in English.
    const QString language = ToQString(ApplicationConfig::sharedObject().selectedLanguage);
    QFile eula(resources + "/TM-640_EULA-" + language + ".txt");
    if (language.isEmpty() || language.contains(QLatin1Char('/')) || !eula.exists())
        eula.setFileName(resources + "/TM-640_EULA.txt");
    if (eula.open(QIODevice::ReadOnly)) txtEULA->setPlainText(JoinWrappedLines(QString::fromUtf8(eula.readAll())));
}

// ---- Manual ----

Manual::Manual(QWidget* parent) : SmallDialog(parent, "Manual") {
    auto* layout = new QVBoxLayout(this);
    page = new QTextBrowser(this);
    page->setObjectName("manualPage");
    page->setOpenLinks(false);
    layout->addWidget(page);
    QFile file(QString::fromStdString(AppPaths::resourcesDirectory()) + "/manual/index.html");
    if (file.open(QIODevice::ReadOnly)) page->setHtml(QString::fromUtf8(file.readAll()));
    windowDidLoad();
    resize(640, 560);
}

void Manual::windowDidLoad() {
    setWindowTitle(ToQString(Texts().MenuItemUserGuide()));
}

// ---- LangaugeWindowController ----

LangaugeWindowController::LangaugeWindowController(std::function<void()> refresh, QWidget* parent)
    : SmallDialog(parent, "LangaugeWindowController"), refresh_(std::move(refresh)) {
    auto* layout = new QVBoxLayout(this);
    lblTitle = Label(this, "lblTitle");
    lblTitle->setProperty("heading", true);
    Lbltitle2 = Label(this, "Lbltitle2");
    selectLang = new QComboBox(this);
    selectLang->setObjectName("selectLang");
    btnSelect = Button(this, "btnSelect");
    layout->addWidget(lblTitle);
    layout->addWidget(Lbltitle2);
    layout->addWidget(selectLang);
    layout->addWidget(btnSelect, 0, Qt::AlignRight);

    windowDidLoad();
    const ApplicationConfig config = ApplicationConfig::sharedObject();
    for (const std::string& language : config.languageArray)
        selectLang->addItem(QString::fromStdString(language));
    selectLang->setCurrentIndex(-1);
    for (std::size_t i = 0; i < config.languageArray.size(); ++i)
        if (config.selectedLanguage && config.languageArray[i] == *config.selectedLanguage) {
            selectLang->setCurrentIndex(static_cast<int>(i));
            break;
        }
    connect(btnSelect, &QPushButton::clicked, this, [this] { btnSelectClicked(); });
    btnSelect->setDefault(true);
    resize(380, 180);
}

void LangaugeWindowController::windowDidLoad() {
    LanguageConfig& texts = Texts();
    SetText(lblTitle, texts.LanguageDialogWindowTitle1());
    SetText(Lbltitle2, texts.LanguageDialogWindowTitle2());
    setWindowTitle(ToQString(texts.LanguageDialogWindowTitle1()));
    ApplyTitle(btnSelect, TH::setButtonTitleFor(texts.CommonSelect(), kWhite));
    btnSelect->setToolTip(ToQString(texts.CommonSelect()));
}

void LangaugeWindowController::btnSelectClicked() {
    const int at = selectLang->currentIndex();
    const ApplicationConfig config = ApplicationConfig::sharedObject();
    if (at >= 0 && at < static_cast<int>(config.languageArray.size())) {
        ApplicationConfig::writeSelectedLanguageInFile(config.languageArray[at]);
        ApplicationConfig::updateSharedObject(
            [](ApplicationConfig& shared) { shared.setSelectedLanguageFromFile(); });
        LanguageConfig::sharedObject().loadConfig();
        if (refresh_) refresh_();
    }
    close();
}

// ---- ShareWindowController ----

ShareWindowController::ShareWindowController(QWidget* parent)
    : SmallDialog(parent, "ShareWindowController") {
    auto* layout = new QGridLayout(this);
    lblShareWindowTitle = Label(this, "lblShareWindowTitle");
    lblShareWindowTitle->setProperty("heading", true);
    lblShareViaFacebook = Label(this, "lblShareViaFacebook");
    lblShareViaGooglePlus = Label(this, "lblShareViaGooglePlus");
    lblShareViaTwitter = Label(this, "lblShareViaTwitter");
    lblShareViaEmail = Label(this, "lblShareViaEmail");
    const QString icons = QString::fromStdString(AppPaths::resourcesDirectory()) + "/icons/";
    const auto shareButton = [&](const char* name, const char* icon) {
        QPushButton* button = Button(this, name);
        button->setIcon(QIcon(icons + icon));
        button->setIconSize(QSize(28, 28));
        button->setProperty("iconOnly", true);
        return button;
    };
    btnFacebook = shareButton("btnFacebook", "share-facebook.svg");
    btnGooglePlus = shareButton("btnGooglePlus", "share-googleplus.svg");
    btnTwitter = shareButton("btnTwitter", "share-twitter.svg");
    btnEmail = shareButton("btnEmail", "share-mail.svg");
    layout->addWidget(lblShareWindowTitle, 0, 0, 1, 2);
    int row = 1;
    for (auto [label, button] : {std::pair{lblShareViaFacebook, btnFacebook},
                                 std::pair{lblShareViaGooglePlus, btnGooglePlus},
                                 std::pair{lblShareViaTwitter, btnTwitter},
                                 std::pair{lblShareViaEmail, btnEmail}}) {
        layout->addWidget(button, row, 0);
        layout->addWidget(label, row, 1);
        ++row;
    }
    // The captions take the spare width; each button stays the size of its icon.
    layout->setColumnStretch(1, 1);
    windowDidLoad();
    // Each says so when no browser or mail program opens, and gives the address to copy.
    for (auto [button, address] : {std::pair{btnFacebook, &ApplicationConfig::facebookUrl},
                                   std::pair{btnGooglePlus, &ApplicationConfig::googlePlusUrl},
                                   std::pair{btnTwitter, &ApplicationConfig::twitterUrl}})
        connect(button, &QPushButton::clicked, this, [this, address] {
            const QString shared = ToQString(ApplicationConfig::sharedObject().*address);
            Desktop::openOrTell(QUrl(shared.trimmed(), QUrl::StrictMode), this, shared);
        });
    connect(btnEmail, &QPushButton::clicked, this, [this] {
        Desktop::openOrTell(recommendationMail(), this, QString::fromLatin1(kProductAddress));
    });
    resize(400, 260);
}

void ShareWindowController::windowDidLoad() {
    LanguageConfig& texts = Texts();
    SetText(lblShareWindowTitle, texts.ShareDialogWindowTitle());
    SetText(lblShareViaFacebook, texts.ShareDialogWindowShareViaFacebook());
    SetText(lblShareViaGooglePlus, texts.ShareDialogWindowShareViaGooglePlus());
    SetText(lblShareViaTwitter, texts.ShareDialogWindowShareViaTwitter());
    SetText(lblShareViaEmail, texts.ShareDialogWindowShareViaEmail());
    setWindowTitle(ToQString(texts.ShareDialogWindowTitle()));
}

QUrl ShareWindowController::recommendationMail() {
    return Desktop::mailAddress(
        QString(), QStringLiteral("Torvane"),
        QStringLiteral("Hello, check out the Torvane software. it helped me recover my deleted "
                       "data(and restore it to my iOS device). You can find it here: ") +
            QString::fromLatin1(kProductAddress) + QStringLiteral("."));
}

// ---- FeedbackWindowController ----

FeedbackWindowController::FeedbackWindowController(QWidget* parent)
    : SmallDialog(parent, "FeedbackWindowController") {
    auto* layout = new QVBoxLayout(this);
    lblFeedbackTitle = Label(this, "lblFeedbackTitle");
    lblFeedbackTitle->setProperty("heading", true);
    lblFeedbackTitle1 = Label(this, "lblFeedbackTitle1");
    lblFeedbackTitle2 = Label(this, "lblFeedbackTitle2");
    comboBox = new QComboBox(this);
    comboBox->setObjectName("comboBox");
    comboBox->setEditable(true);
    for (int stars = 5; stars >= 1; --stars) comboBox->addItem(QString::number(stars));
    content = new QTextEdit(this);
    content->setObjectName("content");
    content->setAcceptRichText(false);
    content->setTabChangesFocus(true);
    btnSubmit = Button(this, "btnSubmit");
    auto* rating = new QHBoxLayout;
    rating->addWidget(lblFeedbackTitle1);
    rating->addWidget(comboBox);
    rating->addWidget(lblFeedbackTitle2, 1);
    layout->addWidget(lblFeedbackTitle);
    layout->addLayout(rating);
    layout->addWidget(content, 1);
    layout->addWidget(btnSubmit, 0, Qt::AlignRight);
    windowDidLoad();
    connect(btnSubmit, &QPushButton::clicked, this, [this] { submit(); });
    resize(460, 340);
}

void FeedbackWindowController::windowDidLoad() {
    LanguageConfig& texts = Texts();
    SetText(lblFeedbackTitle, texts.FeedbackDialogWindowTitle());
    SetText(lblFeedbackTitle1, texts.FeedbackDialogWindowRateExperiencePart1());
    SetText(lblFeedbackTitle2, texts.FeedbackDialogWindowRateExperiencePart2());
    content->setPlaceholderText(ToQString(texts.FeedbackDialogWindowPlaceHolderText()));
    ApplyTitle(btnSubmit, TH::setButtonTitleForWithPadding(
                              texts.FeedbackDialogWindowSubmitButtonTitle(), kWhite, 14.0f, 8));
    btnSubmit->setToolTip(ToQString(texts.FeedbackDialogWindowSubmitButtonTitle()));
    setWindowTitle(ToQString(texts.FeedbackDialogWindowTitle()));
}

void FeedbackWindowController::submit() {
    // Without a mail program the text stays here, and the message gives the address to send it to.
    const QString recipient = ToQString(ApplicationConfig::sharedObject().supportemail);
    Desktop::openOrTell(Desktop::mailAddress(recipient, QStringLiteral("My rating:") + comboBox->currentText(),
                                             content->toPlainText()),
                        this, recipient);
}

// ---- StarFeedbackWindow ----

StarFeedbackWindow::StarFeedbackWindow(AnalyticsEvents& analytics, const QString& supportUrl,
                                       QWidget* parent)
    : SmallDialog(parent, "StarFeedbackWindow"), analytics_(analytics), supportUrl_(supportUrl) {
    auto* layout = new QVBoxLayout(this);
    completeLabel = Label(this, "completeLabel");
    completeLabel->setProperty("heading", true);
    completeLabel->setAlignment(Qt::AlignCenter);
    ThankyouLabel = Label(this, "ThankyouLabel");
    layout->addWidget(completeLabel);
    auto* starRow = new QHBoxLayout;
    starRow->addStretch();
    for (int k = 0; k < 5; ++k) {
        stars[k] = Button(this, ("Star" + std::to_string(k + 1)).c_str());
        stars[k]->setProperty("iconOnly", true);
        stars[k]->setIconSize(QSize(32, 32));
        connect(stars[k], &QPushButton::clicked, this, [this, k] { starClicked(k + 1); });
        starRow->addWidget(stars[k]);
    }
    starRow->addStretch();
    layout->addLayout(starRow);
    const QString icons = QString::fromStdString(AppPaths::resourcesDirectory()) + "/icons/";
    auto* shareRow = new QHBoxLayout;
    shareRow->addStretch();
    const auto shareButton = [&](const char* name, const char* icon) {
        QPushButton* button = Button(this, name);
        button->setIcon(QIcon(icons + icon));
        button->setIconSize(QSize(28, 28));
        button->setProperty("iconOnly", true);
        shareRow->addWidget(button);
        return button;
    };
    facebook = shareButton("facebook", "share-facebook.svg");
    googlePlus = shareButton("googlePlus", "share-googleplus.svg");
    twitter = shareButton("twitter", "share-twitter.svg");
    mail = shareButton("mail", "share-mail.svg");
    shareRow->addStretch();
    layout->addLayout(shareRow);
    supportBtn = Button(this, "supportBtn");
    CloseButton = Button(this, "CloseButton");
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(supportBtn);
    bottom->addStretch();
    bottom->addWidget(CloseButton);
    layout->addLayout(bottom);
    windowDidLoad();
    starsSelected = 5;
    supportBtn->hide();
    displayStars();
    // No button is the default: Enter rates nothing until the user moves to a star. The window
    // itself takes the focus first, so no star holds it when it opens.
    for (QPushButton* button : findChildren<QPushButton*>()) button->setAutoDefault(false);
    setFocusPolicy(Qt::StrongFocus);
    setFocus(Qt::OtherFocusReason);
    connect(CloseButton, &QPushButton::clicked, this, [this] { CloseSelected(); });
    connect(facebook, &QPushButton::clicked, this,
            [] { Desktop::open(ToQString(ApplicationConfig::sharedObject().facebookUrl)); });
    connect(googlePlus, &QPushButton::clicked, this,
            [] { Desktop::open(ToQString(ApplicationConfig::sharedObject().googlePlusUrl)); });
    connect(twitter, &QPushButton::clicked, this,
            [] { Desktop::open(ToQString(ApplicationConfig::sharedObject().twitterUrl)); });
    connect(mail, &QPushButton::clicked, this,
            [] { Desktop::open(ShareWindowController::recommendationMail()); });
    connect(supportBtn, &QPushButton::clicked, this, [this] { Desktop::open(supportUrl_); });
    resize(380, 220);
}

void StarFeedbackWindow::windowDidLoad() {
    LanguageConfig& texts = Texts();
    ApplyTitle(supportBtn, TH::setButtonTitleFor(texts.MenuItemHelp(), kWhite));
    ApplyTitle(CloseButton, TH::setButtonTitleFor(texts.CommonOK(), kWhite));
    setWindowTitle(ToQString(texts.RatingDialogWindowTitle().value_or("Rate Torvane")));
}

void StarFeedbackWindow::keyPressEvent(QKeyEvent* event) {
    // Enter presses the button the user moved to, and nothing else.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled()) button->click();
        event->accept();
        return;
    }
    SmallDialog::keyPressEvent(event);
}

void StarFeedbackWindow::starClicked(int k) {
    starsSelected = k;
    const bool high = k >= 4;
    displaySocialMedia(high);
    supportBtn->setVisible(!high);
    displayStars();
}

void StarFeedbackWindow::displayStars() {
    const QString icons = QString::fromStdString(AppPaths::resourcesDirectory()) + "/icons/";
    for (int k = 5; k >= 1; --k) {
        const bool gold = starsSelected >= k;
        stars[k - 1]->setIcon(QIcon(icons + (gold ? "star-gold.svg" : "star-clear.svg")));
        stars[k - 1]->setProperty("gold", gold);
    }
}

void StarFeedbackWindow::displaySocialMedia(bool show) {
    for (QPushButton* button : {facebook, googlePlus, twitter, mail}) button->setVisible(show);
}

void StarFeedbackWindow::CloseSelected() {
    analytics_.publishRatingEvent(mixpanelMsg.toStdString(), starsSelected);
    close();
}

// ---- showHintWindowController ----

showHintWindowController::showHintWindowController(QWidget* parent)
    : SmallDialog(parent, "showHintWindowController") {
    auto* layout = new QVBoxLayout(this);
    txthead = Label(this, "txthead");
    txthead->setProperty("heading", true);
    txt1 = Label(this, "txt1");
    txt2 = Label(this, "txt2");
    txthint1 = Label(this, "txthint1");
    txthint2 = Label(this, "txthint2");
    txthint3 = Label(this, "txthint3", false);
    txthint4 = Label(this, "txthint4");
    btn1 = Button(this, "btn1");
    btn1->setProperty("link", true);
    btn1->setCursor(Qt::PointingHandCursor);
    for (QLabel* label : {txthead, txt1, txt2, txthint1, txthint2}) layout->addWidget(label);
    // "Install the latest <device support software>" with the link on the software's name,
    // then the rest of the sentence.
    auto* install = new QHBoxLayout;
    install->setSpacing(4);
    install->addWidget(txthint3);
    install->addWidget(btn1);
    install->addStretch();
    layout->addLayout(install);
    layout->addWidget(txthint4);
    layout->addStretch();
    btnClose = AddCloseButton(this, layout);
    windowDidLoad();
    connect(btn1, &QPushButton::clicked, this, [this] {
        const QString address =
            ToQString(ApplicationConfig::resolvedAddress(ApplicationConfig::sharedObject().iTunesDownload)).trimmed();
        Desktop::openOrTell(QUrl(address, QUrl::StrictMode), this, address);
    });
    resize(480, 300);
}

void showHintWindowController::windowDidLoad() {
    LanguageConfig& texts = Texts();
    SetText(txthead, texts.ConnectingDeviceTroubleshootingDialogWindowTitle());
    SetText(txt1, texts.ConnectingDeviceTroubleshootingDialogWindowMainTextTitlePart1());
    SetText(txt2, texts.ConnectingDeviceTroubleshootingDialogWindowMainTextTitlePart2());
    SetText(txthint1, texts.ConnectingDeviceTroubleshootingDialogWindowUseAnotherUSBPort());
    SetText(txthint2, texts.ConnectingDeviceTroubleshootingDialogWindowTryAnotherUSBCable());
    SetText(txthint3, texts.ConnectingDeviceTroubleshootingDialogWindowInstallLatestITunesPart1());
    ApplyTitle(btn1, TH::setButtonTitleForWithPadding(
                         texts.ConnectingDeviceTroubleshootingDialogWindowInstallLatestITunesPart2(),
                         kBlue, 13.0f, 0));
    TitleAdapters::SizeAsSentence(btn1, txthint3);
    btn1->setToolTip(ToQString(texts.ConnectingDeviceTroubleshootingDialogWindowInstallLatestITunesPart2()));
    SetText(txthint4, texts.ConnectingDeviceTroubleshootingDialogWindowInstallLatestITunesPart3());
    setWindowTitle(ToQString(texts.ConnectingDeviceTroubleshootingDialogWindowTitle()));
    TitleCloseButton(btnClose);
}

// ---- Notification1WindowController ----

Notification1WindowController::Notification1WindowController(std::function<void(bool)> okAction,
                                                             QWidget* parent)
    : SmallDialog(parent, "Notification1WindowController"), ok_(std::move(okAction)) {
    auto* layout = new QVBoxLayout(this);
    lblConfirmation = Label(this, "lblConfirmation");
    Message = Label(this, "Message");
    Message->hide();
    btnOk = Button(this, "btnOk");
    btnCancel = Button(this, "btnCancel");
    layout->addWidget(lblConfirmation);
    layout->addWidget(Message);
    layout->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnCancel);
    buttons->addWidget(btnOk);
    layout->addLayout(buttons);
    windowDidLoad();
    connect(btnOk, &QPushButton::clicked, this, [this] { ok(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { cancel(); });
    btnOk->setDefault(true);
    resize(440, 170);
}

void Notification1WindowController::windowDidLoad() {
    LanguageConfig& texts = Texts();
    SetText(lblConfirmation, texts.Notification1WindowAlert());
    if (isDeviceCurrently) settingDeviceMessage();
    ApplyTitle(btnOk, TH::setButtonTitleFor(texts.CommonOK(), kWhite, 14.0f));
    btnOk->setToolTip(ToQString(texts.CommonOK()));
    ApplyTitle(btnCancel, TH::setButtonTitleForWithPadding(texts.CommonCancel(), kWhite, 14.0f, 8));
    btnCancel->setToolTip(ToQString(texts.CommonCancel()));
}

void Notification1WindowController::settingDeviceMessage() {
    settingMessage(ToQString(Texts().Notification1WindowDeviceAlert().value_or(
        "Are you sure you want to start a new Device scan? Your current scanning results won't be saved.")));
}

void Notification1WindowController::settingMessage(const QString& text) {
    isDeviceCurrently = true;
    Message->setText(text);
    Message->show();
    lblConfirmation->hide();
}

void Notification1WindowController::ok() {
    const bool device = isDeviceCurrently;
    close();
    if (ok_) ok_(device);
}

void Notification1WindowController::cancel() {
    close();
}

// ---- DashboardWindowController ----

DashboardWindowController::DashboardWindowController(BrimleyAppDelegate& record, QWidget* parent)
    : SmallDialog(parent, "DashboardWindowController") {
    auto* layout = new QVBoxLayout(this);
    lblScanComplete = Label(this, "lblScanComplete");
    lblScanComplete->setProperty("heading", true);
    scanReport = Label(this, "scanReport");
    table = new QTableWidget(9, 3, this);
    table->setObjectName("reportTable");
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::NoFocus);
    lblNotSearched = Label(this, "lblNotSearched");
    lblNotSearched->setWordWrap(true);
    lblNotSearched->setTextFormat(Qt::PlainText);
    btnContinue = Button(this, "btnContinue");
    layout->addWidget(lblScanComplete);
    layout->addWidget(scanReport);
    layout->addWidget(table, 1);
    layout->addWidget(lblNotSearched);
    layout->addWidget(btnContinue, 0, Qt::AlignRight);

    // Every row keeps its own caption; the rows of data types the scan did not look for (those
    // a scan of one type leaves out, photos and videos in a fast scan) say so.
    const ScanReport report = ScanReport::fromRecord(record, ScanReport::Rows::All);
    stopped_ = report.stopped;
    for (int row = 0; row < table->rowCount(); ++row) {
        table->setItem(row, 0, new QTableWidgetItem);
        for (int column : {1, 2}) {
            auto* count = new QTableWidgetItem(QStringLiteral("0"));
            count->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(row, column, count);
        }
    }
    for (const ScanReport::Row& row : report.rows) {
        if (row.place < 0 || row.place >= table->rowCount()) continue;
        if (!row.scanned) {
            // Across both columns: the scan did not look for these, so there are no counts.
            notScanned_.push_back(row.place);
            table->setSpan(row.place, 1, 1, 2);
            table->item(row.place, 1)->setTextAlignment(Qt::AlignCenter);
            table->item(row.place, 2)->setText(QString());
            continue;
        }
        table->item(row.place, 1)->setText(QString::number(row.deleted));
        table->item(row.place, 2)->setText(QString::number(row.existing));
    }
    for (const std::string& line : report.notSearchedDatabases) notSearched_.append(QString::fromStdString(line));
    lblNotSearched->setVisible(!notSearched_.isEmpty());
    if (const auto device = record.deviceInfo.get()) deviceName_ = ToQString(device->DeviceName());
    windowDidLoad();
    connect(btnContinue, &QPushButton::clicked, this, [this] {
        QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
        close();
        // The keyboard goes on in the results, not on whatever the window's focus chain
        // begins with (the title bar's buttons).
        if (!owner) return;
        owner->activateWindow();
        for (QAbstractItemView* view : owner->findChildren<QAbstractItemView*>())
            if (view->isVisible() && view->isEnabled() && view->focusPolicy() != Qt::NoFocus) {
                view->setFocus(Qt::OtherFocusReason);
                return;
            }
    });
    btnContinue->setDefault(true);
    resize(440, 420);
}

void DashboardWindowController::windowDidLoad() {
    LanguageConfig& texts = Texts();
    SetText(lblScanComplete, stopped_ ? texts.ScanReportDialogWindowScanStopped()
                                      : texts.ScanReportDialogWindowScanCompleted());
    TitleAdapters::ApplyHeaderTitle(table, 0, texts.ScanReportDialogWindowTableHeaderDataFound());
    TitleAdapters::ApplyHeaderTitle(table, 1, texts.ScanReportDialogWindowTableHeaderDeleted());
    TitleAdapters::ApplyHeaderTitle(table, 2, texts.ScanReportDialogWindowTableHeaderExisting());
    ApplyTitle(btnContinue, TH::setButtonTitleFor(texts.CommonContinue(), kWhite));
    btnContinue->setToolTip(ToQString(texts.CommonContinue()));
    static constexpr LanguageKey kCaptions[] = {
        LanguageKey::CommonMessages, LanguageKey::CommonWhatsApp, LanguageKey::CommonContacts,
        LanguageKey::CommonCalls,    LanguageKey::CommonCalendar, LanguageKey::CommonNotes,
        LanguageKey::CommonPhotos,   LanguageKey::CommonVideos,   LanguageKey::CommonSafari};
    for (int row = 0; row < table->rowCount(); ++row)
        table->item(row, 0)->setText(ToQString(texts.text(kCaptions[row])));
    for (int row : notScanned_)
        table->item(row, 1)->setText(ToQString(texts.ScanReportDialogWindowNotScanned().value_or("not scanned")));
    scanReport->setText(QStringLiteral("%1 - %2").arg(ToQString(texts.ScanReportDialogWindowScanReport()), deviceName_));
    if (!notSearched_.isEmpty())
        lblNotSearched->setText(ToQString(texts.ScanReportDialogWindowNotSearched()) + QStringLiteral("\n") +
                                notSearched_.join(QStringLiteral("\n")));
    setWindowTitle(ToQString(texts.ScanReportDialogWindowScanReport()));
}

std::pair<QString, QString> DashboardWindowController::countsAt(int row) const {
    if (row < 0 || row >= table->rowCount()) return {};
    return {table->item(row, 1)->text(), table->item(row, 2)->text()};
}

QString DashboardWindowController::captionAt(int row) const {
    if (row < 0 || row >= table->rowCount()) return {};
    return table->item(row, 0)->text();
}
