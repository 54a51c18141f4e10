// Messages shaped as real mail is, with the faults real mail has: what the viewer's summary, its
// body and the attachment names read for each.
#include "messages/Charsets.h"
#include "messages/MailText.h"
#include "messages/MessageEntry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace toppeek::messages;

namespace {

struct Case {
    const char* what;
    std::string header; // the reply to TOP n 0
    std::string body;   // the lines after the header block of the reply to TOP n lines
    std::string summary;
    std::string bodyText; // what the viewer shows after the summary's empty line
    std::vector<std::string> attachments;
};

// The reply to TOP n 0 of lines written with LF ends.
std::string headerReply(std::string lines) {
    std::string reply;
    for (char c : lines)
        reply += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return reply + "\r\n.\r\n";
}

std::string bodyReply(std::string lines) {
    std::string reply;
    for (char c : lines)
        reply += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return reply + ".\r\n";
}

void expectRead(const Case& c, const BodyFetch& fetch = {}) {
    SCOPED_TRACE(c.what);
    const ReadableMessage message = readableMessage(c.header, c.body, fetch);
    const std::size_t split = message.text.find("\n\n");
    ASSERT_NE(split, std::string::npos) << message.text;
    EXPECT_EQ(message.text.substr(0, split + 1), c.summary);
    EXPECT_EQ(message.text.substr(split + 2), c.bodyText);
    EXPECT_EQ(message.attachments, c.attachments);
    EXPECT_TRUE(isValidUtf8(message.text) && isValidUtf8(message.raw));
}

} // namespace

TEST(ReadingMail, NoSenderForgesWhatTheReaderSees) {
    const Case cases[] = {
        {"a line break encoded in the subject",
         headerReply("From: Mallory <m@evil.example>\n"
                     "Subject: =?utf-8?q?Quarterly_report=0AFrom:_Your_Bank_<security@bank."
                     "example>?=\n"),
         bodyReply("Hi\n"),
         "From: Mallory <m@evil.example>\n"
         "Subject: Quarterly report From: Your Bank <security@bank.example>\n",
         "Hi\n",
         {}},
        {"CR LF and a right-to-left override in an attachment name, ESC in the body",
         headerReply("Subject: invoice\nContent-Type: multipart/mixed; boundary=b\n"),
         bodyReply("--b\nContent-Type: text/plain\n\nPay \x1B[2Jnow\n"
                   "--b\nContent-Type: application/octet-stream\n"
                   "Content-Disposition: attachment; filename*=utf-8''inv%0D%0A"
                   "Attachments: ok%E2%80%AEfdp.exe\n\nAAAA\n--b--\n"),
         "Subject: invoice\nAttachments: inv Attachments: ok\xEF\xBF\xBD"
         "fdp.exe\n",
         "Pay \xE2\x90\x9B[2Jnow\n",
         {"inv Attachments: ok\xEF\xBF\xBD"
          "fdp.exe"}},
        {"a NUL inside an attachment name",
         headerReply("Subject: files\nContent-Type: multipart/mixed; boundary=b\n"),
         bodyReply("--b\nContent-Type: text/plain\n\nsee attached\n--b\n"
                   "Content-Disposition: attachment; filename*=utf-8''safe.pdf%00.exe\n\n"
                   "AAAA\n--b--\n"),
         "Subject: files\nAttachments: safe.pdf\xE2\x90\x80.exe\n",
         "see attached\n",
         {"safe.pdf\xE2\x90\x80.exe"}},
        {"a NUL inside a subject",
         headerReply(std::string("Subject: safe.pdf\0.exe\n", 23)),
         bodyReply("x\n"),
         "Subject: safe.pdf\xE2\x90\x80.exe\n",
         "x\n",
         {}},
    };
    for (const Case& c : cases)
        expectRead(c);
    // The list reads the same subject the same way.
    auto entry = createMessageEntry(std::string("Subject: safe.pdf\0.exe\r\n", 24));
    std::string scratch;
    EXPECT_EQ(safeToShow(shownText(*entry, ShownField::Subject, scratch), LineBreaks::AsSpace),
              "safe.pdf\xE2\x90\x80.exe");
    EXPECT_EQ(safeToShow("a\r\nb\x85\xC2\x9B"
                         "c\xE2\x81\xA6"
                         "d\te",
                         LineBreaks::Kept),
              "a\r\nb\x85\xEF\xBF\xBD"
              "c\xEF\xBF\xBD"
              "d\te");
}

TEST(ReadingMail, CharsetsAsMailReadersReadThem) {
    const Case cases[] = {
        {"one bad byte in UTF-8",
         headerReply("Subject: =?utf-8?q?Gr=C3=BC=C3=9Fe_=FF?=\n"
                     "Content-Type: text/plain; charset=utf-8\n"),
         bodyReply("Gr\xC3\xBC\xC3\x9F"
                   "e aus M\xC3\xBCnchen \xFF\xC3\n"),
         "Subject: Gr\xC3\xBC\xC3\x9F"
         "e \xEF\xBF\xBD\n",
         "Gr\xC3\xBC\xC3\x9F"
         "e aus M\xC3\xBCnchen \xEF\xBF\xBD\xEF\xBF\xBD\n",
         {}},
        {"windows-1252 written under an ISO-8859-1 label",
         headerReply("Subject: =?iso-8859-1?q?today=92s_news?=\n"
                     "Content-Type: text/plain; charset=\"ISO-8859-1\"\n"),
         bodyReply("We\x92ll see \x96 today\x92s \x93news\x94\n"),
         "Subject: today\xE2\x80\x99s news\n",
         "We\xE2\x80\x99ll see \xE2\x80\x93 today\xE2\x80\x99s \xE2\x80\x9Cnews\xE2\x80\x9D\n",
         {}},
        {"registered names the converter alone does not know",
         headerReply("Subject: =?unicode-1-1-utf-7?Q?Hi_+AKM-5?= =?mac-iceland?Q?=DE?=\n"
                     "Content-Type: text/plain; charset=ks_c_5601-1987\n"),
         bodyReply("\xC7\xD1\xB1\xB9\n"),
         "Subject: Hi \xC2\xA3"
         "5\xC3\x9E\n",
         "\xED\x95\x9C\xEA\xB5\xAD\n",
         {}},
        {"an ASCII label over UTF-8, no label over Latin-1",
         headerReply("Subject: x\nContent-Type: multipart/alternative; boundary=\"=_b\"\n"),
         bodyReply("--=_b\nContent-Type: text/plain; charset=us-ascii\n\n"
                   "Caf\xC3\xA9\n--=_b--\n"),
         "Subject: x\n",
         "Caf\xC3\xA9\n",
         {}},
    };
    for (const Case& c : cases)
        expectRead(c);
    EXPECT_EQ(decodeCharset("\xE2\x82", "utf-8", true), "");
    EXPECT_EQ(decodeCharset("a\xE2\x82"
                            "b",
                            "UTF8"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(decodeCharset("x", "no-such-charset"), std::nullopt);
    EXPECT_EQ(decodeCharset("x", "UTF-8//TRANSLIT"), std::nullopt);
    EXPECT_EQ(decodeCharset("caf\x82", "IBM850"), "caf\xC3\xA9"); // iconv's own names too
}

TEST(ReadingMail, HtmlReadAsABrowserParsesIt) {
    const std::string header =
        headerReply("Subject: h\nContent-Type: text/html; charset=windows-1252\n");
    const Case cases[] = {
        {"references, comparisons, quoted brackets and links",
         header,
         bodyReply("<p>M&uuml;ller &amp; S&ouml;hne &#150; 1&#151;2 &hellip;</p>"
                   "<p>if a < b and c > d</p>"
                   "<p title=\"x > y\">shown</p>"
                   "<div>see <a href=\"https://example.org/a\">our site</a>, "
                   "<a href=\"https://example.org/b\">https://example.org/b</a> or "
                   "<a href=\"javascript:run()\">this</a></div>"
                   "<ul><li>one<li>two</ul>\n"),
         "Subject: h\n",
         "M\xC3\xBCller & S\xC3\xB6hne \xE2\x80\x93 1\xE2\x80\x94"
         "2 \xE2\x80\xA6\n\n"
         "if a < b and c > d\n\nshown\n\n"
         "see our site <https://example.org/a>, https://example.org/b or this\n\n"
         "- one\n- two\n",
         {}},
    };
    for (const Case& c : cases)
        expectRead(c);

    // A megabyte of ampersands without a semicolon (which took seconds once), and elements
    // nested as deep as a fetched part can hold them.
    EXPECT_EQ(plainTextFromHtml(std::string(1 << 20, '&')).size(), (1u << 20) + 1);
    std::string nested;
    for (int i = 0; i < 5000; ++i)
        nested += "<div>";
    EXPECT_EQ(plainTextFromHtml(nested + "deep"), "deep\n");
}

TEST(ReadingMail, BrokenStructureRecovered) {
    const Case cases[] = {
        {"text without a subtype",
         headerReply("Subject: s\nContent-Type: text\n"),
         bodyReply("plain words\n"),
         "Subject: s\n",
         "plain words\n",
         {}},
        {"no blank line after the header: it ends where the alternatives begin",
         headerReply("Subject: s\nContent-Type: multipart/alternative; boundary=b\n--b\n"
                     "Content-Type: text/plain\n"),
         bodyReply("plain\n--b\nContent-Type: text/html\n\n<p>html</p>\n--b--\n"),
         "Subject: s\n",
         "plain\n",
         {}},
        {"a nested part reusing its parent's boundary",
         headerReply("Subject: s\nContent-Type: multipart/mixed; boundary=X\n"),
         bodyReply("--X\nContent-Type: multipart/alternative; boundary=X\n\n"
                   "--X\nContent-Type: text/plain\n\nthe text\n"
                   "--X\nContent-Type: text/html\n\n<p>the html</p>\n--X--\n"
                   "--X\nContent-Type: application/pdf; name=a.pdf\n\nJVBE\n--X--\n"),
         "Subject: s\nAttachments: a.pdf\n",
         "the text\n",
         {"a.pdf"}},
        {"CR-only line ends",
         "Subject: s\rContent-Type: multipart/alternative; boundary=q\r\r.\r\n",
         "--q\rContent-Type: text/plain\r\rfirst\rsecond\r--q\rContent-Type: text/html\r\r"
         "<p>html</p>\r--q--\r.\r\n",
         "Subject: s\n",
         "first\nsecond\n",
         {}},
        {"CR CR LF line ends",
         "Subject: s\r\r\nContent-Type: text/plain\r\r\n\r\r\n.\r\n",
         "one\r\r\ntwo\r\r\n.\r\n",
         "Subject: s\n",
         "one\ntwo\n",
         {}},
    };
    for (const Case& c : cases)
        expectRead(c);
}

TEST(ReadingMail, CutByTheReplyBufferOrNotFetchedAtAll) {
    const std::string header = headerReply("Subject: big\nContent-Type: multipart/mixed; "
                                           "boundary=m\n");
    const std::string head = "--m\nContent-Type: text/plain\n\nline one\nline two\nline thr";
    const std::string tail = "QUFBQUFB\nQUFBQUFB\n--m--\n";
    const Case cut{"cut",
                   header,
                   bodyReply(head + " " + tail),
                   "Subject: big\n",
                   "line one\nline two\n\n(The rest of the message was not fetched: it is longer "
                   "than the reply buffer holds. Show raw lines to see the end of the reply.)\n",
                   {}};
    expectRead(cut, {200, head.size() + 1});

    const Case none{"no lines asked for",
                    headerReply("Subject: hello\n"),
                    ".\r\n",
                    "Subject: hello\n",
                    "(No lines of the message body are fetched: \"Lines of message to display\" "
                    "is 0 under Options, Preferences, General. Set it to the number of lines to "
                    "read.)\n",
                    {}};
    expectRead(none, {0});
}
