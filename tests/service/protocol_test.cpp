// The request parser and the server's messages, as a client reads them.
#include "service/protocol.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

using namespace halvek::service;
using nlohmann::json;

namespace {

struct BadCase {
    const char* line;
    const char* reasonPart;
};

TEST(Protocol, MalformedRequestsAreRefusedWithTheirReason) {
    const BadCase cases[] = {
        {"", "not a JSON object"},
        {"{\"cmd\":\"status\"", "not a JSON object"},
        {"[1,2]", "not a JSON object"},
        {"\"status\"", "not a JSON object"},
        {"{}", "no \"cmd\""},
        {"{\"cmd\":7}", "no \"cmd\""},
        {"{\"cmd\":\"fly\"}", "unknown command \"fly\""},
        {"{\"cmd\":\"hello\"}", "\"role\""},
        {"{\"cmd\":\"hello\",\"role\":\"boss\"}", "\"role\""},
        {"{\"cmd\":\"hello\",\"role\":\"observer\",\"name\":3}", "\"name\""},
        {"{\"cmd\":\"hello\",\"role\":\"controller\",\"takeover\":\"yes\"}", "\"takeover\""},
        {"{\"cmd\":\"watch\",\"since\":-1}", "\"since\""},
        {"{\"cmd\":\"watch\",\"since\":1.5}", "\"since\""},
        {"{\"cmd\":\"decide\",\"action\":\"accept\"}", "\"episode\""},
        {"{\"cmd\":\"decide\",\"episode\":\"4\",\"action\":\"accept\"}", "\"episode\""},
        {"{\"cmd\":\"decide\",\"episode\":4,\"action\":\"keep\"}", "\"action\""},
        {"{\"cmd\":\"decide\",\"episode\":18446744073709551615,\"action\":\"accept\"}", "\"episode\""},
        {"{\"cmd\":\"enable\",\"types\":3}", "\"types\""},
        {"{\"cmd\":\"enable\",\"types\":[1,0]}", "\"types\""},
        {"{\"cmd\":\"enable\",\"types\":[25]}", "\"types\""},
        {"{\"cmd\":\"inhibit\",\"on\":1}", "\"on\""},
        {"{\"cmd\":\"ack\"}", "\"seq\""},
        {"{\"cmd\":\"ack\",\"seq\":-3}", "\"seq\""},
    };
    for (const BadCase& c : cases) {
        const ParsedRequest p = parseRequest(c.line);
        EXPECT_FALSE(p.ok) << c.line;
        EXPECT_NE(p.reason.find(c.reasonPart), std::string::npos) << c.line << " -> " << p.reason;
    }
}

TEST(Protocol, RequestsAreReadWithTheirFieldsAndUnknownFieldsIgnored) {
    ParsedRequest p = parseRequest(
        R"({"cmd":"hello","name":"kiosk","role":"controller","takeover":true,"colour":"red","id":{"n":1}})");
    ASSERT_TRUE(p.ok) << p.reason;
    EXPECT_EQ(p.request.command, Command::Hello);
    EXPECT_EQ(p.request.name, "kiosk");
    EXPECT_EQ(p.request.role, Role::Controller);
    EXPECT_TRUE(p.request.takeover);
    EXPECT_EQ(*p.request.echo.id, json({{"n", 1}}));

    p = parseRequest(R"({"cmd":"decide","episode":12,"action":"accept","id":"a7"})");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.request.episode, 12);
    EXPECT_EQ(p.request.action, Action::Accept);

    p = parseRequest(R"({"cmd":"watch"})");
    ASSERT_TRUE(p.ok);
    EXPECT_FALSE(p.request.since);
    p = parseRequest(R"({"cmd":"watch","since":18446744073709551615})");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(*p.request.since, 18446744073709551615ull);

    p = parseRequest(R"({"cmd":"enable","types":[1,2,24]})");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.request.types, (std::vector<int>{1, 2, 24}));
    p = parseRequest(R"({"cmd":"inhibit","on":false})");
    ASSERT_TRUE(p.ok);
    EXPECT_FALSE(p.request.on);
    p = parseRequest(R"({"cmd":"ack","seq":40})");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.request.seq, 40u);
}

TEST(Protocol, AnErrorEchoesWhatCouldBeReadOfTheRequest) {
    const ParsedRequest p = parseRequest(R"({"cmd":"decide","id":9,"action":"keep","episode":1})");
    ASSERT_FALSE(p.ok);
    const json e = json::parse(errorMessage(p.echo, err::BadRequest, p.reason));
    EXPECT_EQ(e["class"], "ERROR");
    EXPECT_EQ(e["error"], "bad-request");
    EXPECT_EQ(e["cmd"], "decide");
    EXPECT_EQ(e["id"], 9);
}

TEST(Protocol, LineSplitterTakesLinesAcrossReadsAndStopsAnOverlongOne) {
    LineSplitter s(8);
    std::string line;
    s.feed("ab", 2);
    EXPECT_EQ(s.next(line), LineSplitter::Result::NeedMore);
    s.feed("c\r\nde\nf", 7);
    ASSERT_EQ(s.next(line), LineSplitter::Result::Line);
    EXPECT_EQ(line, "abc");
    ASSERT_EQ(s.next(line), LineSplitter::Result::Line);
    EXPECT_EQ(line, "de");
    EXPECT_EQ(s.next(line), LineSplitter::Result::NeedMore);
    s.feed("12345678", 8);  // nine bytes without an end
    EXPECT_EQ(s.next(line), LineSplitter::Result::Overlong);

    LineSplitter whole(8);
    whole.feed("123456789\nx\n", 12);  // a whole overlong line in one read
    EXPECT_EQ(whole.next(line), LineSplitter::Result::Overlong);

    LineSplitter exact(8);
    exact.feed("12345678\n", 9);
    ASSERT_EQ(exact.next(line), LineSplitter::Result::Line);
    EXPECT_EQ(line, "12345678");
}

MoneyRecord escrowRecord() {
    MoneyRecord r;
    r.event = {halvek::MoneyKind::Escrow, 3, 20};
    r.event.seq = 41;
    r.event.episode = 7;
    r.currency = "EUR";
    r.timeMs = 1796944673125;  // 2026-12-10T23:17:53.125Z
    r.decideByMs = r.timeMs + 10000;
    r.defaultAction = "return";
    return r;
}

TEST(Protocol, ServerMessagesCarryTheirFieldNames) {
    json v = json::parse(versionMessage("1.2", "b00t", "/dev/ttyUSB0"));
    EXPECT_EQ(
        v,
        json({{"class", "VERSION"}, {"release", "1.2"}, {"proto", 1}, {"boot", "b00t"}, {"device", "/dev/ttyUSB0"}}));

    json e = json::parse(eventMessage(escrowRecord()));
    EXPECT_EQ(e, json({{"class", "EVENT"},
                       {"seq", 41},
                       {"kind", "escrow"},
                       {"episode", 7},
                       {"type", 3},
                       {"value", 20},
                       {"currency", "EUR"},
                       {"time", "2026-12-10T23:17:53.125Z"},
                       {"decide_by", "2026-12-10T23:18:03.125Z"},
                       {"default", "return"}}));

    MoneyRecord d = escrowRecord();
    d.event.kind = halvek::MoneyKind::Decision;
    d.decideByMs.reset();
    d.defaultAction.clear();
    d.event.action = "return";
    d.event.by = "default";
    e = json::parse(eventMessage(d));
    EXPECT_EQ(e["by"], "default");
    EXPECT_EQ(e["action"], "return");
    EXPECT_FALSE(e.contains("decide_by"));

    json h = json::parse(helloMessage({"hello", json("x")}, Role::Controller, {escrowRecord()}));
    EXPECT_EQ(h["class"], "HELLO");
    EXPECT_EQ(h["role"], "controller");
    EXPECT_EQ(h["unacked"].size(), 1u);
    EXPECT_EQ(h["unacked"][0]["seq"], 41);
    EXPECT_EQ(h["cmd"], "hello");
    EXPECT_EQ(h["id"], "x");

    StatusView s;
    s.link = "unit answering";
    s.enabled = {1, 2};
    s.credit = 5000;
    s.seq = 41;
    json st = json::parse(statusMessage({"status", std::nullopt}, s));
    EXPECT_EQ(st, json({{"class", "STATUS"},
                        {"link", "unit answering"},
                        {"state", "idle"},
                        {"enabled", {1, 2}},
                        {"escrow", nullptr},
                        {"credit", 5000},
                        {"seq", 41},
                        {"cmd", "status"}}));
    s.escrow = escrowRecord();
    EXPECT_EQ(json::parse(statusMessage({}, s))["escrow"]["episode"], 7);

    json g = json::parse(gapMessage({"watch", std::nullopt}, 3, 10));
    EXPECT_EQ(g, json({{"class", "GAP"}, {"since", 3}, {"first", 10}, {"cmd", "watch"}}));
    EXPECT_EQ(json::parse(okMessage({"ack", json(4)})), json({{"class", "OK"}, {"cmd", "ack"}, {"id", 4}}));
}

TEST(Protocol, EveryMessageIsOneLineOfValidUtf8EvenFromOddBytes) {
    const std::string text = "coupon \xff\xfe\n\"x\"";
    const std::string m = noticeMessage("unit", text, -1);
    EXPECT_EQ(m.find('\n'), m.size() - 1);
    const json j = json::parse(m);
    EXPECT_EQ(j["time"], "1969-12-31T23:59:59.999Z");
    EXPECT_NE(j["text"].get<std::string>().find("\"x\""), std::string::npos);
}

}  // namespace
