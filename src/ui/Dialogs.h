#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QTextBrowser>
#include <QTextEdit>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class AnalyticsEvents;
class BrimleyAppDelegate;

// Where the dialogs send links and mails: the user's default browser or mail client. A test
// replaces it to see what would be opened. Placeholder addresses (reserved example domains)
// are not opened; an empty or unusable address opens nothing.
namespace Desktop {
// Opens an address in the desktop's browser or mail program; whether one took it.
using Opener = std::function<bool(const QUrl&)>;
void setOpener(Opener opener);
// Opens the address; false when it was not opened (empty, unusable, a placeholder, or no
// program took it).
bool open(const QString& address);
bool open(const QUrl& address);
// Opens the address; when nothing opens it, tells the user so in a message over `parent`,
// with `toCopy` (the address to open by hand, the mail's recipient) to copy from it.
bool openOrTell(const QUrl& address, QWidget* parent, const QString& toCopy);
// A configured address as the browser opens it (a resource path becomes a file address).
bool openConfigured(const std::optional<std::string>& configured);
// "mailto:<recipient>?SUBJECT=<subject>&BODY=<body>", each part percent-encoded in UTF-8.
QUrl mailAddress(const QString& recipient, const QString& subject, const QString& body);
}  // namespace Desktop

// The button of an alert that Escape (or closing the alert) answers: the only button of a
// one-button alert; of several, the one that declines or cancels ("No", "Cancel", "Close" or the
// chosen language's Cancel text, in any case). None when no button declines: Escape then never
// answers for the user.
std::optional<std::size_t> AlertEscapeButton(const std::vector<std::string>& titles);

// A small window of the application: Escape closes it, as does its close control.
class SmallDialog : public QDialog {
public:
    explicit SmallDialog(QWidget* parent, const char* name);
    // Puts the texts of the chosen language on the window: its title, labels and buttons. A
    // window calls it when it is made; the main window calls it again on the windows still
    // open when the language changes.
    virtual void windowDidLoad() {}
};

// About: the product, its version and build, the licence agreement and two links.
class AboutWindow : public SmallDialog {
public:
    AboutWindow(BrimleyAppDelegate& record, QWidget* parent);
    // The texts, and the licence in the chosen language.
    void windowDidLoad() override;
    QTextBrowser* txtEULA;
    QLabel *imgLogo, *lblProductName, *hyperlink1, *hyperlink2, *lblAboutCopyright,
        *lblAboutDescriptionLine1, *lblAboutDescriptionLine2, *lblAboutDescriptionLine3,
        *lblAboutDescriptionLine4, *lblAboutPoweredBy, *lblAboutVersion, *lblAboutWindowTitle,
        *buildVersion;
    QPushButton* btnClose;
};

// The user manual, as shipped among the resources.
class Manual : public SmallDialog {
public:
    explicit Manual(QWidget* parent);
    void windowDidLoad() override;
    QTextBrowser* page;
};

// The language picker: the configured languages; Select stores and loads the chosen one and
// has every view re-read its texts.
class LangaugeWindowController : public SmallDialog {
public:
    LangaugeWindowController(std::function<void()> UpdateAllViewsOnLanguageChange, QWidget* parent);
    void windowDidLoad() override;
    void btnSelectClicked();
    QLabel *lblTitle, *Lbltitle2;
    QComboBox* selectLang;
    QPushButton* btnSelect;

private:
    std::function<void()> refresh_;
};

// Recommending the product: four share links and a mail.
class ShareWindowController : public SmallDialog {
public:
    explicit ShareWindowController(QWidget* parent);
    void windowDidLoad() override;
    QLabel *lblShareWindowTitle, *lblShareViaFacebook, *lblShareViaGooglePlus, *lblShareViaTwitter,
        *lblShareViaEmail;
    QPushButton *btnFacebook, *btnGooglePlus, *btnTwitter, *btnEmail;
    // The recommendation mail.
    static QUrl recommendationMail();
};

// Writing to support: a message and a rating, sent as a mail by the mail client.
class FeedbackWindowController : public SmallDialog {
public:
    explicit FeedbackWindowController(QWidget* parent);
    void windowDidLoad() override;
    void submit();
    QTextEdit* content;
    QComboBox* comboBox;
    QLabel *lblFeedbackTitle, *lblFeedbackTitle1, *lblFeedbackTitle2;
    QPushButton* btnSubmit;
};

// The five-star rating after an export: 1 to 3 stars offer support, 4 or 5 sharing; Close
// sends the rating. Enter presses only a button the user has moved to.
class StarFeedbackWindow : public SmallDialog {
public:
    StarFeedbackWindow(AnalyticsEvents& analytics, const QString& supportUrl, QWidget* parent);
    void windowDidLoad() override;
    void starClicked(int k);
    void displayStars();
    void displaySocialMedia(bool show);
    void CloseSelected();

    int starsSelected = 5;
    QString mixpanelMsg;
    std::array<QPushButton*, 5> stars{};
    QPushButton *CloseButton, *facebook, *googlePlus, *twitter, *mail, *supportBtn;
    QLabel *completeLabel, *ThankyouLabel;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    AnalyticsEvents& analytics_;
    QString supportUrl_;
};

// Help for a device that is not recognised.
class showHintWindowController : public SmallDialog {
public:
    explicit showHintWindowController(QWidget* parent);
    void windowDidLoad() override;
    // txt2 is the line before the hints; btn1, the link to the download page, carries the
    // words of the software's name between txthint3 and txthint4.
    QLabel *txthead, *txt1, *txt2, *txthint1, *txthint2, *txthint3, *txthint4;
    QPushButton *btn1, *btnClose;
};

// The question before a new scan throws the current results away. In its device form it asks
// the fixed device question; OK goes back to the home screen in the form's mode.
class Notification1WindowController : public SmallDialog {
public:
    Notification1WindowController(std::function<void(bool device)> ok, QWidget* parent);
    void windowDidLoad() override;
    void settingMessage(const QString& text);
    // The device form: the device question, in the chosen language.
    void settingDeviceMessage();
    void ok();
    void cancel();
    QLabel *lblConfirmation, *Message;
    QPushButton *btnOk, *btnCancel;
    bool isDeviceCurrently = false;

private:
    std::function<void(bool)> ok_;
};

// The scan report: per data type the deleted and existing records as the scan left them.
class DashboardWindowController : public SmallDialog {
public:
    DashboardWindowController(BrimleyAppDelegate& record, QWidget* parent);
    // The texts; the counts stay those of the scan the report was opened for.
    void windowDidLoad() override;
    QLabel *lblScanComplete, *scanReport;
    QTableWidget* table;
    // The sound databases whose deleted records were not searched (the older carving path has
    // no routine for their layout), each with the reason; hidden when there are none.
    QLabel* lblNotSearched;
    QPushButton* btnContinue;
    // The deleted and existing counts shown in a row (0 to 8), and the row's caption.
    std::pair<QString, QString> countsAt(int row) const;
    QString captionAt(int row) const;

private:
    bool stopped_ = false;
    QString deviceName_;
    QStringList notSearched_;
    // The rows of data types the scan did not look for.
    std::vector<int> notScanned_;
};
