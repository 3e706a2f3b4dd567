#include "cli/json_writer.hpp"

#include <gtest/gtest.h>

namespace twinlens::cli {
namespace {

TEST(JsonWriter, NestsWithCommasAndIndentation) {
  JsonWriter json;
  json.beginObject().key("a").value(1).key("list").beginArray().value("x").null().endArray();
  json.key("empty").beginObject().endObject().key("absent").value(std::optional<std::string>());
  json.key("real").value(1.5).key("inf").value(1.0 / 0.0).endObject();
  EXPECT_EQ(json.str(),
            "{\n  \"a\": 1,\n  \"list\": [\n    \"x\",\n    null\n  ],\n  \"empty\": {},\n"
            "  \"absent\": null,\n  \"real\": 1.5,\n  \"inf\": null\n}\n");
}

TEST(JsonWriter, QuotesEveryTextAsValidJson) {
  EXPECT_EQ(jsonQuoted("say \"hi\"\\\n\t"), "\"say \\\"hi\\\"\\\\\\u000a\\u0009\"");
  EXPECT_EQ(jsonQuoted("Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x93\xB7"),
            "\"Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x93\xB7\"");
  // A lone continuation byte, a cut sequence, an over-long form and a surrogate.
  EXPECT_EQ(jsonQuoted("a\x80"
                       "b\xC3"),
            "\"a\\ufffdb\\ufffd\"");
  EXPECT_EQ(jsonQuoted("\xC0\xAF"), "\"\\ufffd\\ufffd\"");
  EXPECT_EQ(jsonQuoted("\xED\xA0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");
}

}  // namespace
}  // namespace twinlens::cli
