#include "messages/MailText.h"
#include "messages/Filters.h"
#include "messages/MessageList.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

using namespace toppeek::messages;

namespace {

using Cases = std::initializer_list<std::pair<const char*, const char*>>;

void expectDecoded(Cases cases) {
    for (const auto& [raw, shown] : cases)
        EXPECT_EQ(decodeHeaderText(raw), shown) << raw;
}

} // namespace

TEST(HeaderDecoding, TheRfcsOwnExamples) {
    expectDecoded({
        {"=?US-ASCII?Q?Keith_Moore?= <moore@cs.utk.edu>", "Keith Moore <moore@cs.utk.edu>"},
        {"=?ISO-8859-1?Q?Keld_J=F8rn_Simonsen?= <keld@dkuug.dk>",
         "Keld J\xC3\xB8rn Simonsen <keld@dkuug.dk>"},
        {"=?ISO-8859-1?Q?Andr=E9?= Pirard <PIRARD@vm1.ulg.ac.be>",
         "Andr\xC3\xA9 Pirard <PIRARD@vm1.ulg.ac.be>"},
        {"=?ISO-8859-1?B?SWYgeW91IGNhbiByZWFkIHRoaXMgeW8=?= "
         "=?ISO-8859-2?B?dSB1bmRlcnN0YW5kIHRoZSBleGFtcGxlLg==?=",
         "If you can read this you understand the example."},
        {"(=?ISO-8859-1?Q?a?=)", "(a)"},
        {"(=?ISO-8859-1?Q?a?= b)", "(a b)"},
        {"(=?ISO-8859-1?Q?a?= =?ISO-8859-1?Q?b?=)", "(ab)"},
        {"(=?ISO-8859-1?Q?a?=  =?ISO-8859-1?Q?b?=)", "(ab)"},
        {"(=?ISO-8859-1?Q?a_b?=)", "(a b)"},
        {"(=?ISO-8859-1?Q?a?= =?ISO-8859-2?Q?_b?=)", "(a b)"},
    });
}

TEST(HeaderDecoding, CharsetsMixedAndMalformedWords) {
    expectDecoded({
        {"=?UTF-8?B?R3LDvMOfZSBhdXMgTcO8bmNoZW4=?=", "Gr\xC3\xBC\xC3\x9F"
                                                     "e aus M\xC3\xBCnchen"},
        {"=?utf-8?q?Caf=C3=A9?=", "Caf\xC3\xA9"},
        {"=?KOI8-R?B?8NLJ18XU?=", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {"=?windows-1252?Q?=80_5?=", "\xE2\x82\xAC 5"},
        // One character split over two adjacent words.
        {"=?UTF-8?Q?=E2=82?= =?UTF-8?Q?=AC?=", "\xE2\x82\xAC"},
        // Encoded words beside plain text and undeclared 8-bit (Latin-1 here).
        {"Re: =?UTF-8?Q?caf=C3=A9?= caf\xE9", "Re: caf\xC3\xA9 caf\xC3\xA9"},
        {"Re: [list] =?UTF-8?Q?Gr=C3=BC=C3=9Fe?= again", "Re: [list] Gr\xC3\xBC\xC3\x9F"
                                                         "e again"},
        // Malformed words stay as they came.
        {"=?utf-8?q?unterminated", "=?utf-8?q?unterminated"},
        {"=?UTF-8?B?!!!?=", "=?UTF-8?B?!!!?="},
        {"=?UTF-8?X?abc?=", "=?UTF-8?X?abc?="},
        {"price =? 5", "price =? 5"},
        // Already UTF-8, no words: untouched.
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
    });
}

TEST(HeaderDecoding, HeaderBlocksUnfoldDecodeAndDropTheTerminator) {
    const std::string block = "Subject: =?UTF-8?Q?Gr=C3=BC?=\r\n =?UTF-8?Q?=C3=9Fe?=\r\n"
                              "X-Spam-Flag: YES\r\n"
                              "From: =?ISO-8859-1?Q?Andr=E9?=\r\n\t<andre@example.org>\r\n"
                              "\r\n.\r\n";
    EXPECT_EQ(decodeHeaderBlock(block), "Subject: Gr\xC3\xBC\xC3\x9F"
                                        "e\n"
                                        "X-Spam-Flag: YES\n"
                                        "From: Andr\xC3\xA9\t<andre@example.org>\n");
    EXPECT_EQ(replyText(block), "Subject: =?UTF-8?Q?Gr=C3=BC?=\r\n =?UTF-8?Q?=C3=9Fe?=\r\n"
                                "X-Spam-Flag: YES\r\n"
                                "From: =?ISO-8859-1?Q?Andr=E9?=\r\n\t<andre@example.org>\r\n\r\n");
}

TEST(HeaderDecoding, EightBitRuleAndCutTexts) {
    EXPECT_EQ(utf8FromBytes("caf\xE9"), "caf\xC3\xA9");
    // A Latin-1 word cut at the end is still a Latin-1 word; cut UTF-8 loses the partial tail.
    EXPECT_EQ(utf8FromBytes("caf\xE9", true), "caf\xC3\xA9");
    EXPECT_EQ(utf8FromBytes(std::string_view("Gr\xC3\xBC\xC3", 5), true), "Gr\xC3\xBC");
    EXPECT_EQ(utf8FromBytes(std::string_view("Gr\xC3\xBC\xC3", 5), false),
              "Gr\xC3\x83\xC2\xBC\xC3\x83");
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));
    EXPECT_TRUE(isValidUtf8("\xF4\x8F\xBF\xBF"));
}

TEST(MessageView, UnstuffedWithoutTerminatorAndDecoded) {
    const std::string qpHeader = "From: =?UTF-8?Q?J=C3=BCrgen?= <j@example.de>\r\n"
                                 "Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\r\n"
                                 "Content-Type: text/plain; charset=iso-8859-1\r\n"
                                 "Content-Transfer-Encoding: quoted-printable\r\n\r\n.\r\n";
    const ReadableMessage qp =
        readableMessage(qpHeader, "Hallo J=FCrgen, eine sehr lange Zeile, die wei=\r\n"
                                  "tergeht.\r\n..Punkt am Anfang\r\n.\r\n");
    EXPECT_EQ(qp.text, "From: J\xC3\xBCrgen <j@example.de>\n"
                       "Subject: Gr\xC3\xBC\xC3\x9F"
                       "e\n\n"
                       "Hallo J\xC3\xBCrgen, eine sehr lange Zeile, die weitergeht.\n"
                       ".Punkt am Anfang\n");
    // The raw form keeps the encodings but is unstuffed and has no terminating line.
    EXPECT_NE(qp.raw.find("J=FCrgen"), std::string::npos);
    EXPECT_NE(qp.raw.find("\r\n.Punkt"), std::string::npos);
    EXPECT_EQ(qp.raw.find("..Punkt"), std::string::npos);
    EXPECT_EQ(qp.raw.find("\r\n.\r\n"), std::string::npos);

    const std::string base64Header = "Subject: b\r\nContent-Type: text/plain; charset=utf-8\r\n"
                                     "Content-Transfer-Encoding: base64\r\n\r\n.\r\n";
    // "Grüße aus München\r\nZweite Zeile\r\n", and the same cut inside its second line.
    const std::string encoded = "R3LDvMOfZSBhdXMgTcO8bmNoZW4NClp3ZWl0ZSBaZWlsZQ0K\r\n.\r\n";
    EXPECT_EQ(readableMessage(base64Header, encoded).text, "Subject: b\n\nGr\xC3\xBC\xC3\x9F"
                                                           "e aus M\xC3\xBCnchen\nZweite Zeile\n");
    const ReadableMessage cut = readableMessage(base64Header, encoded.substr(0, 37));
    EXPECT_TRUE(cut.text.starts_with("Subject: b\n\nGr\xC3\xBC\xC3\x9F"
                                     "e aus M\xC3\xBCnchen\nZw"))
        << cut.text;

    // No MIME at all: 8-bit lines by the rule, dot-stuffing removed.
    EXPECT_EQ(readableMessage("Subject: x\r\n\r\n.\r\n", "caf\xE9\r\n...\r\n.\r\n").text,
              "Subject: x\n\ncaf\xC3\xA9\n..\n");
}

TEST(MessageView, MultipartTakesTheFirstTextPartAndNamesAttachments) {
    const std::string header = "Subject: parts\r\nMIME-Version: 1.0\r\n"
                               "Content-Type: multipart/mixed; boundary=\"outer\"\r\n\r\n.\r\n";
    const std::string body =
        "This is a multi-part message.\r\n"
        "--outer\r\nContent-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n"
        "--alt\r\nContent-Type: text/plain; charset=iso-8859-15\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n\r\nPreis: 5 =A4\r\n"
        "--alt\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<p>Preis: 5 &euro;</p>\r\n"
        "--alt--\r\n"
        "--outer\r\nContent-Type: application/pdf; name=\"=?UTF-8?Q?R=C3=A9sum=C3=A9.pdf?=\"\r\n"
        "Content-Disposition: attachment; filename*=UTF-8''R%C3%A9sum%C3%A9.pdf\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQK\r\n"
        "--outer\r\nContent-Type: image/png; name=\"chart.png\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\niVBORw0KGgo=\r\n"
        "--outer--\r\n.\r\n";
    const ReadableMessage whole = readableMessage(header, body);
    EXPECT_EQ(whole.attachments,
              (std::vector<std::string>{"R\xC3\xA9sum\xC3\xA9.pdf", "chart.png"}));
    EXPECT_EQ(whole.text, "Subject: parts\nAttachments: R\xC3\xA9sum\xC3\xA9.pdf, chart.png\n\n"
                          "Preis: 5 \xE2\x82\xAC\n");

    // Cut by the line limit inside the first attachment: the text part is whole, the
    // attachment seen so far is named, the rest is not invented.
    const std::size_t within = body.find("JVBERi0x") + 4;
    const ReadableMessage cut = readableMessage(header, body.substr(0, within));
    EXPECT_EQ(cut.attachments, (std::vector<std::string>{"R\xC3\xA9sum\xC3\xA9.pdf"}));
    EXPECT_NE(cut.text.find("Preis: 5 \xE2\x82\xAC\n"), std::string::npos);
}

TEST(MessageView, HtmlOnlyIsShownAsPlainTextWithNothingFetched) {
    const std::string header =
        "Subject: news\r\nContent-Type: text/html; charset=\"windows-1252\"\r\n\r\n.\r\n";
    const std::string body =
        "<html><head><title>t</title><style>p { color: red }</style>"
        "<script>document.write('no')</script></head>\r\n"
        "<body><p>Dear   reader,</p><p>Fish &amp; chips \x80 3 &lt;today&gt;&#33;"
        "<img src=\"http://tracker.example/pixel.gif\"><br>Bye<!-- hidden --></p>"
        "<table><tr><td>a</td><td>b</td></tr></table></body></html>\r\n.\r\n";
    EXPECT_EQ(readableMessage(header, body).text,
              "Subject: news\n\nDear reader,\n\nFish & chips \xE2\x82\xAC 3 <today>!\nBye\n\n"
              "a b\n");
}

TEST(DecodedEntries, ListShowsSortsAndRulesMatchDecodedText) {
    auto list = createMessageList();
    for (const char* header :
         {"From: =?UTF-8?Q?Zo=C3=AB?= <zoe@example.org>\r\nSubject: =?UTF-8?B?WmVicmE=?=\r\n",
          "From: Bob <bob@example.org>\r\nSubject: =?ISO-8859-1?Q?=C4pfel_im_Angebot?=\r\n",
          "From: a@example.org\r\nSubject: Mango\r\n"})
        list->append(createMessageEntry(header).release());
    std::string scratch;
    EXPECT_EQ(shownText(*list->at(0), ShownField::From, scratch), "Zo\xC3\xAB <zoe@example.org>");
    // By what is shown: "Mango" < "Zebra" < "Äpfel" byte-wise.
    sortMessages(*list, SortKey::BySubject, true);
    EXPECT_EQ(shownText(*list->at(0), ShownField::Subject, scratch), "Mango");
    EXPECT_EQ(shownText(*list->at(1), ShownField::Subject, scratch), "Zebra");
    // An entry put together by hand decodes when asked.
    MessageEntry byHand;
    byHand.subject = "=?UTF-8?Q?Gr=C3=BC=C3=9Fe?=";
    EXPECT_EQ(shownText(byHand, ShownField::Subject, scratch), "Gr\xC3\xBC\xC3\x9F"
                                                               "e");

    // Rules match the stored text and the decoded one, never something in neither.
    auto rule = createFilterRule();
    rule->kind = RuleKind::SubjectContains;
    const auto matches = [&rule](const MessageEntry& entry, const char* text) {
        rule->subjectText = text;
        return ruleMatches(entry, *rule);
    };
    const MessageEntry& apples = *list->at(2);
    EXPECT_TRUE(matches(apples, "\xC3\x84pfel im"));    // as the user reads it
    EXPECT_TRUE(matches(apples, "=?ISO-8859-1?Q?=C4")); // as it is stored
    EXPECT_TRUE(matches(apples, "ANGEBOT"));
    EXPECT_FALSE(matches(apples, "Apfel"));
    rule->kind = RuleKind::FromContains;
    rule->fromText = "Zo\xC3\xAB";
    EXPECT_TRUE(ruleMatches(*list->at(1), *rule));
    rule->kind = RuleKind::HeadersContain;
    rule->headersText = "Subject: Zebra";
    EXPECT_TRUE(ruleMatches(*list->at(1), *rule));
    // So does marking a group by text.
    EXPECT_EQ(markGroup(*list, "*\xC3\x84pfel*", MarkState::MarkedForDelete), 1);
    EXPECT_EQ(list->at(2)->mark, MarkState::MarkedForDelete);
}

TEST(MarkReasons, EachKindOfMarkSaysWhatMarkedIt) {
    auto filters = createFilters();
    filters->friendlyDomains.add("friend.org");
    filters->bannedDomains.add("example.biz");
    const auto addRule = [&filters](RuleKind kind, const char* text) {
        auto rule = createFilterRule();
        rule->kind = kind;
        (kind == RuleKind::FromContains      ? rule->fromText
         : kind == RuleKind::SubjectContains ? rule->subjectText
                                             : rule->headersText) = text;
        filters->rules.append(rule.release());
    };
    addRule(RuleKind::SubjectContains, "lottery");
    addRule(RuleKind::HeadersContain, "X-Spam-Flag: YES");
    addRule(RuleKind::FromContains, "Gl\xC3\xBC"
                                    "ck");
    filters->rulesEnabled = filters->bannedEnabled = filters->friendlyEnabled = 1;

    const auto reasonFor = [&filters](const std::string& header) {
        auto entry = createMessageEntry(header);
        evaluateFilters(*entry, *filters);
        return std::make_pair(entry->mark, entry->markReason);
    };
    using enum MarkState;
    EXPECT_EQ(reasonFor("From: x@example.biz\r\nSubject: hi\r\n"),
              std::make_pair(MarkedForDelete, std::string("Banned domain: example.biz")));
    EXPECT_EQ(reasonFor("From: x@other.org\r\nSubject: =?UTF-8?Q?Your_lottery_win?=\r\n"),
              std::make_pair(MarkedForDelete, std::string("Subject rule: lottery")));
    EXPECT_EQ(reasonFor("From: x@other.org\r\nX-Spam-Flag: YES\r\n"),
              std::make_pair(MarkedForDelete, std::string("Headers rule: X-Spam-Flag: YES")));
    EXPECT_EQ(reasonFor("From: =?UTF-8?Q?Gl=C3=BCck?= <x@other.org>\r\n"),
              std::make_pair(MarkedForDelete, std::string("From rule: Gl\xC3\xBC"
                                                          "ck")));
    EXPECT_EQ(reasonFor("From: pal@friend.org\r\nSubject: lottery\r\n"),
              std::make_pair(Unmarked, std::string("Friendly domain: friend.org, kept unmarked")));
    EXPECT_EQ(reasonFor("From: x@other.org\r\nSubject: hello\r\n"),
              std::make_pair(Unmarked, std::string()));

    auto list = createMessageList();
    list->append(createMessageEntry("To: me@mine.org\r\nFrom: a@b.org\r\n").release());
    list->append(createMessageEntry("To: list@elsewhere.org\r\nFrom: Win <w@b.org>\r\n").release());
    EXPECT_EQ(markNotAddressed(*list, "me@mine.org"), 1);
    EXPECT_EQ(list->at(1)->markReason, "Not addressed to mine.org");
    EXPECT_EQ(list->at(0)->markReason, "");
    EXPECT_EQ(markGroup(*list, "Win*", MarkState::MarkedForDelete), 1);
    EXPECT_EQ(list->at(1)->markReason, "Marked by group text: Win*");
}
