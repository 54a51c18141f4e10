#include "messages/Filters.h"
#include "MessageTestSupport.h"

#include <gtest/gtest.h>

using namespace toppeek::messages;

namespace {

std::unique_ptr<FilterRule> rule(RuleKind kind, const std::string& text) {
    auto r = createFilterRule();
    r->kind = kind;
    (kind == RuleKind::FromContains      ? r->fromText
     : kind == RuleKind::SubjectContains ? r->subjectText
                                         : r->headersText) = text;
    return r;
}

class FiltersTest : public ::testing::Test {
protected:
    void SetUp() override {
        filters = createFilters();
        filters->friendlyDomains.add("friend.org");
        filters->bannedDomains.add("friend.org");
        filters->bannedDomains.add("spam.biz");
        filters->rules.append(rule(RuleKind::SubjectContains, "viagra").release());
        filters->rulesEnabled = filters->bannedEnabled = filters->friendlyEnabled = 1;
    }
    MarkState evaluate(const char* from, const char* subject, MarkState before) {
        MessageEntry entry;
        if (from)
            entry.from = from;
        entry.subject = subject;
        entry.mark = before;
        lastResult = evaluateFilters(entry, *filters);
        return entry.mark;
    }
    std::unique_ptr<Filters> filters;
    bool lastResult = false;
};

TEST_F(FiltersTest, FriendlyThenBannedThenRules) {
    using enum MarkState;
    EXPECT_EQ(evaluate("Pal <pal@friend.org>", "VIAGRA now", MarkedForDelete), Unmarked);
    EXPECT_FALSE(lastResult);
    EXPECT_EQ(evaluate("x@spam.biz", "hello", Unmarked), MarkedForDelete);
    EXPECT_TRUE(lastResult);
    EXPECT_EQ(evaluate("x@SPAM.biz", "hello", Unmarked), Unmarked); // domains are case-sensitive
    EXPECT_EQ(evaluate("x@mail.spam.biz", "hello", Unmarked), Unmarked); // no subdomains
    EXPECT_EQ(evaluate("x@other.org", "Cheap ViAgRa", Unmarked), MarkedForDelete);
    EXPECT_EQ(evaluate("x@other.org", "hello", MarkedForDelete), MarkedForDelete); // hand mark
    EXPECT_FALSE(lastResult);
    EXPECT_EQ(evaluate(nullptr, "hello", Unmarked), Unmarked);
}

TEST_F(FiltersTest, SwitchesOffChangeNothing) {
    filters->rulesEnabled = filters->bannedEnabled = filters->friendlyEnabled = 0;
    for (auto before : {MarkState::Unmarked, MarkState::MarkedForDelete}) {
        EXPECT_EQ(evaluate("pal@friend.org", "viagra", before), before);
        EXPECT_EQ(evaluate("x@spam.biz", "viagra", before), before);
    }
}

TEST(FilterRules, Matching) {
    MessageEntry entry;
    entry.from = "\"Big Sale\" <offers@shop.com>";
    entry.subject = "R\xC9SUM\xC9 for You";
    entry.headerText = "X-Spam-Flag: YES\r\nSubject: ...\r\n";
    EXPECT_TRUE(ruleMatches(entry, *rule(RuleKind::FromContains, "big sale")));
    EXPECT_TRUE(ruleMatches(entry, *rule(RuleKind::SubjectContains, "r\xC9sum\xC9 FOR")));
    EXPECT_FALSE(
        ruleMatches(entry, *rule(RuleKind::SubjectContains, "r\xE9sum\xE9"))); // ASCII only
    EXPECT_TRUE(ruleMatches(entry, *rule(RuleKind::HeadersContain, "x-spam-flag: yes")));
    EXPECT_FALSE(ruleMatches(entry, *rule(RuleKind::FromContains, "for you"))); // kind's text only
    auto inactive = rule(RuleKind::FromContains, "offers");
    inactive->active = 0;
    EXPECT_FALSE(ruleMatches(entry, *inactive));
    auto damaged = rule(RuleKind::FromContains, "offers");
    damaged->kind = static_cast<RuleKind>(7);
    EXPECT_FALSE(ruleMatches(entry, *damaged));
    entry.subject.reset();
    EXPECT_FALSE(ruleMatches(entry, *rule(RuleKind::SubjectContains, "")));
}

TEST(FilterRules, CopyAndClone) {
    auto source = rule(RuleKind::HeadersContain, std::string(199, 'h'));
    source->fromText = "from";
    source->active = 0;
    source->spareFlag = 9;
    source->reserved.fill(0xAB);
    auto copy = createFilterRule();
    copyFilterRule(*copy, *source);
    EXPECT_EQ(copy->headersText, std::string(198, 'h'));
    EXPECT_EQ(copy->fromText, "from");
    EXPECT_EQ(copy->active, 0);
    EXPECT_EQ(copy->kind, RuleKind::HeadersContain);
    EXPECT_EQ(copy->spareFlag, 9);
    EXPECT_EQ(copy->reserved, (std::array<std::uint8_t, 10>{}));
    auto clone = cloneFilterRule(*source);
    EXPECT_EQ(clone->headersText, source->headersText);
    EXPECT_EQ(clone->spareFlag, 9);
    EXPECT_EQ(clone->reserved, (std::array<std::uint8_t, 10>{}));
}

TEST(FilterPasses, ApplyAndMarkNotAddressed) {
    auto filters = createFilters();
    auto list = createMessageList();
    EXPECT_EQ(applyFilters(*list, *filters), 0);
    filters->bannedDomains.add("spam.biz");
    filters->bannedEnabled = 1;
    addEntry(*list, "a@spam.biz", "s", "Me <me@Home.ORG>");
    addEntry(*list, "b@ok.org", "s", "other@home.org")->mark = MarkState::MarkedForDelete;
    addEntry(*list, "c@ok.org", "s", "undisclosed-recipients:;");
    addEntry(*list, "d@ok.org", "s");
    addEntry(*list, "e@ok.org", "s", "x@elsewhere.org, me@home.org");
    EXPECT_EQ(applyFilters(*list, *filters), 2);

    EXPECT_EQ(markNotAddressed(*list, "not an address"), 0);
    EXPECT_EQ(countMarked(*list), 2);
    EXPECT_EQ(markNotAddressed(*list, "Me <me@home.org>"), 3);
    const MarkState expected[] = {MarkState::Unmarked, MarkState::Unmarked,
                                  MarkState::MarkedForDelete, MarkState::MarkedForDelete,
                                  MarkState::MarkedForDelete};
    for (int i = 0; i < list->count(); ++i)
        EXPECT_EQ(list->at(i)->mark, expected[i]) << i;
}

} // namespace
