#include "ui/ChatPages.h"

#include "config/LanguageConfig.h"

#include "records/Calendar.h"
#include "records/Note.h"
#include "records/SMS.h"
#include "records/Skype.h"
#include "records/WhatsApp.h"
#include "ui/DeletedMarks.h"
#include "ui/ScreenText.h"

#include <initializer_list>

namespace ChatPages {

namespace {

using ScreenText::Html;

// One style rule: the selector, " {", each declaration after a tab, "}".
std::string Rule(const char* selector, std::initializer_list<const char*> declarations) {
    std::string rule = selector;
    rule += " {";
    for (const char* declaration : declarations) {
        rule += '\t';
        rule += declaration;
        rule += ';';
    }
    rule += '}';
    return rule;
}

// A bubble's gradient declarations for one colour, as the engines that know gradients read
// them. (The old filter form of one browser is left out: the text browser's style parser stops
// at it and would drop every rule after it.)
std::string Gradients(const std::string& colour) {
    const std::string stops = colour + " 0%, " + colour + " 97%, " + colour + " 100%";
    return "\tbackground: -moz-linear-gradient(top, " + stops + ");" +
           "\tbackground: -webkit-linear-gradient(top, " + stops + ");" +
           "\tbackground: -o-linear-gradient(top, " + stops + ");" +
           "\tbackground: -ms-linear-gradient(top, " + stops + ");" +
           "\tbackground: linear-gradient(to bottom, " + stops + ");";
}

const char* const kShadow =
    "box-shadow: inset 0 5px 5px rgba(255, 255, 255, 0.4), 0 1px 3px rgba(0, 0, 0, 0.2)";

// The bubble rules of a chat page: `left` and `right` are the two bubble colours.
std::string BubbleRules(const std::string& left, const std::string& right, bool whiteRightText,
                        bool vendorComment) {
    const std::string leftBorder = "border-bottom-color: " + left;
    const std::string rightBorder = "border-bottom-color: " + right;
    std::string css;
    css += Rule(".chatleft:before, .chatleft:after",
                {"border-radius: 20px / 10px", "content: ''", "display: block", "position: absolute"});
    css += Rule(".chatleft:before", {"border: 14px solid transparent", leftBorder.c_str(), "bottom: -1px",
                                     "left: -10px", "z-index: -2"});
    css += Rule(".chatleft:after",
                {"border: 14px solid transparent", leftBorder.c_str(), "bottom: 0px", "left: -8px"});
    css += ".chatleft {\tbackground: " + left + ";";
    if (vendorComment) css += "/* vendor rules */";
    css += Gradients(left);
    css += "\tborder: 1px solid " + left + ";\tborder-radius: 6px;\t" + kShadow +
           ";\tbox-sizing: border-box;\tclear: both;\tfloat: left;\tmargin-bottom: 20px;"
           "\tpadding: 8px 10px;\tposition: relative;\twidth: auto;\tmax-width: 100%;"
           "\tword-wrap: break-word;}";
    css += ".chatright {\ttext-align: right;\tborder: 1px solid " + right +
           ";\tborder-radius: 6px;\t" + kShadow +
           ";\tbox-sizing: border-box;\tclear: both;\tmargin-bottom: 20px;\tpadding: 8px 10px;"
           "\tposition: relative;\twidth: auto;\tmax-width: 100%;\tword-wrap: break-word;"
           "\tbackground: " + right + ";";
    if (vendorComment) css += "/* vendor rules */";
    css += Gradients(right);
    css += "\tfloat: right;";
    if (whiteRightText) css += "\tcolor: #fff;";
    css += "}";
    css += Rule(".chatright:before, .chatright:after",
                {"border-radius: 20px / 10px", "content: ''", "display: block", "position: absolute"});
    css += Rule(".chatright:before", {"border: 14px solid transparent", rightBorder.c_str(),
                                      "bottom: -1px", "right: -10px", "z-index: -2"});
    css += Rule(".chatright:after",
                {"border: 14px solid transparent", rightBorder.c_str(), "bottom: 0px", "right: -8px"});
    css += Rule(".chatleft .time, .chatright .time", {"font-size: 12px", "display: block", "text-align: left",
                                                      "margin: 3px 0", "width: 100%"});
    css += Rule(".chatright .time", {"text-align: right"});
    css += Rule(".green", {"color: #30bb00"});
    return css;
}

// The same bubbles as the text browser that shows the page draws them: it knows block colours
// and margins but not floats, borders with radii or gradients, so these rules come last. Its
// bubbles span their side's width and have no inner padding: the owner's text is set from the
// bubble's left, as right-aligned text would put a line's last letter across the bubble's edge.
std::string BrowserRules(const std::string& left, const std::string& right, const char* rightText) {
    return ".chatleft {\tbackground-color: " + left +
           ";\tmargin-right: 80px;\tmargin-left: 4px;\tmargin-bottom: 10px;}"
           ".chatright {\tbackground-color: " + right + ";\tcolor: " + rightText +
           ";\ttext-align: left;\tmargin-left: 80px;\tmargin-right: 4px;\tmargin-bottom: 10px;}"
           ".time {\tfont-size: 11px;}";
}

std::string Head(bool singleQuotedDoctype) {
    std::string head = singleQuotedDoctype
                           ? "<!DOCTYPE html PUBLIC '-//W3C//DTD XHTML 1.0 Transitional//EN' "
                             "'http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd'>"
                           : "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                             "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">";
    head += "<html xmlns=\"http://www.w3.org/1999/xhtml\">";
    head += "<head>";
    head += "<meta http-equiv='Content-Type' content='text/html; charset=utf-8' />";
    head += "<title>Chat</title>";
    head += "<style>";
    return head;
}

// A deleted message's text and time are drawn in the colour of the deleted rows of the tables,
// on a pale bubble of their own so that they read on either side.
std::string Bubble(bool left, const OptString& text, const OptString& time, bool deleted = false) {
    const std::string open = deleted ? "<span class='deleted' style='color:#b92020'>" : "";
    const std::string close = deleted ? "</span>" : "";
    const std::string side = left ? "chatleft" : "chatright";
    const std::string div = deleted ? "<div class='" + side + "' style='background-color:#fbe9e9'>"
                                    : "<div class='" + side + "'>";
    return div + open + Html(text) + close + "<span class='time'> " + open + Html(time) + close +
           " <span class='green'></span></span> </div>";
}

bool Flagged(const std::vector<char>& flags, std::size_t i) {
    return i < flags.size() && flags[i];
}

// A file path as it stands in a "file://" address: characters that would end the address or
// the style declaration are percent-encoded.
std::string FileAddressPath(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : path) {
        if (c <= ' ' || c == '\'' || c == '"' || c == '(' || c == ')' || c == '%' || c == '\\' ||
            c == '<' || c == '>' || c == '#' || c == '?' || c >= 0x7f) {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 15];
        } else {
            encoded += static_cast<char>(c);
        }
    }
    return encoded;
}

}  // namespace

std::string SmsConversation(const std::vector<std::shared_ptr<SMS>>& messages,
                            const std::vector<char>& deleted) {
    std::string page = Head(false);
    page += Rule("body", {"margin: 0", "padding: 0", "font-family: Arial, Helvetica, sans-serif",
                          "background: #ffffff"});
    page += Rule(".chatarea", {"width: 400px", "margin: 20px auto", "font-size: 14px"});
    page += BubbleRules("#eeeeee", "#59D93B", true, true);
    page += BrowserRules("#eeeeee", "#59D93B", "#ffffff");
    page += "</style></head><body><div class='chatarea'>";
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const auto& message = messages[i];
        if (!message) continue;
        page += Bubble(message->Type() == OptString("Received from"), message->Message(), message->LocalTime(),
                       Flagged(deleted, i));
    }
    page += "</div></body>";
    return page;
}

std::string WhatsAppConversation(const std::vector<std::shared_ptr<WhatsApp>>& messages,
                                 const std::string& background, const std::vector<char>& deleted) {
    std::string page = Head(true);
    page += "body {\tmargin: 0;\tpadding: 0;\tfont-family: Arial, Helvetica, sans-serif;"
            "\tbackground-image: url('file://" + FileAddressPath(background) + "');}";
    page += Rule(".chatarea", {"width: 500px", "margin: 20px auto", "font-size: 14px"});
    page += BubbleRules("#eeeeee", "#D3F0BF", false, false);
    page += BrowserRules("#ffffff", "#D3F0BF", "#1f2a36");
    page += "</style></head><body><div class='chatarea'>";
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const auto& message = messages[i];
        if (!message) continue;
        const bool received = message->FromMsgID() && !message->FromMsgID()->empty() && !message->isSent();
        page += Bubble(received, message->zText(), message->MessageDate(), Flagged(deleted, i));
    }
    page += "</div></body>";
    return page;
}

std::string SkypeConversation(const std::vector<std::shared_ptr<Skype>>& messages,
                              const std::string& ownAccount) {
    std::string page =
        "<html><head><meta http-equiv='Content-Type' content='text/html; charset=iso-8859-1' />"
        "<meta name='viewport' content='width=device-width, minimum-scale=0.5;initial-scale=1.0; "
        "maximum-scale=2.0; user-scalable=1'><meta name='apple-mobile-web-app-capable' content='YES'>"
        "<title>Service Report Format</title><style>";
    page +=
        "html, body, div, span, applet, object, iframe, h1, h2, h3, h4, h5, h6, p, blockquote, pre, a, "
        "abbr, acronym, address, big, cite, code, del, dfn, em, img, ins, kbd, q, s, samp, small, strike, "
        "strong, sub, sup, tt, var, b, u, i, center, dl, dt, dd, ol, ul, li, fieldset, form, label, "
        "legend, table, caption, tbody, tfoot, thead, tr, th, td, article, aside, canvas, details, embed, "
        "figure, figcaption, footer, header, hgroup, menu, nav, output, ruby, section, summary, time, mark, "
        "audio, video {\tmargin: 0;\tpadding: 0;\tborder: 0;\tfont-size: 100%;\tfont: inherit;}";
    page += "article, aside, details, figcaption, figure, footer, header, hgroup, menu, nav, section {"
            "\tdisplay: block;}";
    page += Rule("body", {"line-height: 1", "font-family:Arial, Helvetica, sans-serif", "font-size:12px",
                          "color:#414141", "margin:25px 0"});
    page += Rule("ol, ul", {"list-style: none"});
    page += Rule("blockquote, q", {"quotes: none"});
    page += Rule("blockquote:before, blockquote:after, q:before, q:after", {"content: ''", "content: none"});
    page += Rule("table", {"border-collapse: collapse", "border-spacing: 0"});
    page += Rule(".chatbox", {"margin:0 auto", "min-width:400px", "max-width:800px", "height:auto",
                              "border:0px solid #CCC"});
    page += Rule(".person1", {"background:#fefffe", "padding:10px 23px"});
    page += Rule(".person2", {"background:#f5f5f5", "padding:10px 23px"});
    page += Rule(".person1 .date, .person2 .date", {"font-size:14px", "padding:10px 0", "font-weight:bold"});
    page += Rule(".personset", {"width:100%", "padding:12px 0"});
    page += Rule(".photo", {"float:left", "width:8%", "border:0px solid #CCC", "margin-right:2%"});
    page += Rule(".photo img", {"padding:1px", "border:1px solid #00ff00", "display:inline-block"});
    page += Rule(".chatxt", {"float:right", "width:90%", "border:0px solid #CCC", "line-height:14px"});
    page += Rule(".chatperson",
                 {"float:left", "width:100%", "border:0px solid #CCC", "display:inline-block"});
    page += Rule(".chatperson strong", {"font-weight:bold", "padding-bottom:5px"});
    page += Rule(".txt", {"float:left", "width:75%", "border:0px solid #CCC", "padding:5px 0", "line-height:16px"});
    page += Rule(".time", {"float:right", "width:25%", "border:0px solid #CCC", "font-size:11px",
                           "text-align:right", "line-height:25px"});
    page += Rule(".clear", {"clear:both", "height:5px"});
    page += "</style></head><body><div class='chatbox1'>";
    OptString previous = std::string();
    for (const auto& message : messages) {
        if (!message) continue;
        const OptString& name = message->skypeName();
        const bool changed = previous != name;
        if (changed && previous && !previous->empty()) page += "</div></div></div></div>";
        if (changed) {
            page += "  <div class='";
            page += name == OptString(ownAccount) ? "person1" : "person2";
            page += "'>    <div class='personset'><div class='photo'><img src='img/photo.png'"
                    "width='28' height='28' /></div> <div class='chatxt'> <div class='chatperson'><strong>" +
                    Html(message->displayName()) + "</strong>";
        }
        page += "<div class='clear'>&nbsp;</div><div class='txt'>" + Html(message->body()) +
                "</div><div class='time'>Sep 20,2013 02:32 PM</div>";
        previous = name;
    }
    page += "</div></div></div></div></div></body></html>";
    return page;
}

// "Title:" and "Note:" in the chosen language, escaped.
std::string TitleCaption() {
    return Html(LanguageConfig::sharedObject().DetailPageTitle().value_or("Title:"));
}
std::string NoteCaption() {
    return Html(LanguageConfig::sharedObject().DetailPageNote().value_or("Note:"));
}

std::string DeletedMarkRow() {
    const QColor red = DeletedMarks::text();
    return "<tr><td style='color:" + red.name().toStdString() + ";'><strong>" +
           Html(LanguageConfig::sharedObject().ScanReportDialogWindowTableHeaderDeleted().value_or("Deleted")) +
           "</strong></td></tr>";
}

std::string CalendarPage(const Calendar& event, bool deleted) {
    LanguageConfig& texts = LanguageConfig::sharedObject();
    const auto field = [](const std::string& caption, const OptString& value) {
        return "<tr><td><strong>" + caption + " </strong> " + Html(value) + "</td></tr>";
    };
    const auto column = [](const OptString& title, const char* fallback) {
        return Html(title.value_or(fallback)) + ":";
    };
    return "<table style='font-family:arial; font-size:14px;'>" + (deleted ? DeletedMarkRow() : std::string()) +
           field(TitleCaption(), event.Summary()) + field(column(texts.colLocation(), "Location"), event.Location()) +
           field(column(texts.colstart(), "Start"), event.StartDate()) +
           field(column(texts.colEnd(), "End"), event.EndDate()) + "<tr><td><br/></td></tr>" +
           field(NoteCaption(), event.Description()) + "</table>";
}

OptString NoteText(const Note& note) {
    const OptString title = note.Title();
    OptString body = note.Summary();
    if (body && title && !title->empty() && body->starts_with(*title)) {
        body->erase(0, title->size());
        body->erase(0, body->find_first_not_of(" \t\r\n"));
    }
    return body;
}

std::string NotePage(const Note& note, bool deleted) {
    const OptString title = note.Title();
    const OptString body = NoteText(note);
    return "<html><body style='width:300px;'><table style='font-family:arial; font-size:14px;'>" +
           (deleted ? DeletedMarkRow() : std::string()) + "<tr><td><strong>" + TitleCaption() + " </strong> " +
           Html(title) + "</td></tr><tr><td><br/></td></tr><tr><td><strong>" + NoteCaption() + "</strong></td></tr>"
           "<tr><td>" + Html(body) + "</td></tr></table></body></html>";
}

}  // namespace ChatPages
