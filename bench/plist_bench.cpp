// The property-list library on a tree of 100,000 dictionaries of 10 keys, in both forms, against
// libxml2's own parse of the same XML document (the floor for any XML reader built on it); and
// the build of one dictionary of 100,000 keys against a plain hash map. All of it is CPU-bound
// work on one thread, so CPU time is measured: it holds steady when the machine is busy.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "plist/array_node.hpp"
#include "plist/dict_node.hpp"
#include "plist/value_nodes.hpp"
#include "plist/xml_parse_guard.hpp"
#include "plist/xml_plist_parser.hpp"
#include "ratio_reporter.hpp"
#include "shared/logging.hpp"

namespace {

using namespace twinlens;

constexpr int kDicts = 100000;
constexpr int kKeys = 100000;

std::shared_ptr<DictNode> makeTree() {
  auto photos = std::make_shared<ArrayNode>();
  photos->list().reserve(kDicts);
  for (int i = 0; i < kDicts; ++i) {
    auto photo = std::make_shared<DictNode>();
    photo->putString("/Users/me/Pictures/iPhoto Library/Originals/2009/Roll " +
                         std::to_string(i / 100) + "/IMG_" + std::to_string(i) + ".JPG",
                     "ImagePath");
    photo->putString("IMG_" + std::to_string(i), "Caption");
    photo->putString("Beach & <sea> " + std::to_string(i), "Comment");
    photo->putString("Image", "MediaType");
    photo->putInt(i / 100, "Roll");
    photo->putInt(i % 6, "Rating");
    photo->putLongLong(1000000000ll + i, "ModDateAsTimerInterval");
    photo->putDouble(1.5, "Aspect Ratio");
    photo->putBoolean(i % 7 == 0, "Flagged");
    photo->putBoolean(false, "Hidden");
    photos->add(photo);
  }
  auto root = std::make_shared<DictNode>();
  root->putString("9.4.3", "Application Version");
  root->put(photos, "Master Image List");
  return root;
}

struct Fixture {
  std::shared_ptr<DictNode> tree = makeTree();
  Data xml = tree->XMLData();
  Data binary = tree->binaryData();
  std::string xmlPath;
  std::vector<std::string> keys;

  Fixture() {
    const char* base = std::getenv("TMPDIR");
    xmlPath = std::string(base && *base ? base : "/tmp") + "/twinlens-plist-bench-" +
              std::to_string(::getpid()) + ".plist";
    std::ofstream(xmlPath, std::ios::binary)
        .write(reinterpret_cast<const char*>(xml.data()), static_cast<long>(xml.size()));
    for (int i = 0; i < kKeys; ++i) keys.push_back("key number " + std::to_string(i * 7919));
  }
  ~Fixture() { ::unlink(xmlPath.c_str()); }
};

Fixture& fixture() {
  static Fixture instance;
  return instance;
}

void perDictionary(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * kDicts);
}

void BM_LibxmlParse(benchmark::State& state) {
  const Data& xml = fixture().xml;
  for (auto _ : state) {
    xmlDoc* doc =
        xmlReadMemory(reinterpret_cast<const char*>(xml.data()), static_cast<int>(xml.size()),
                      nullptr, nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc) state.SkipWithError("libxml2 could not parse the document");
    xmlFreeDoc(doc);
  }
  perDictionary(state);
}

// The same parse as the reader's, under its guard, without building the node tree.
void BM_GuardedLibxmlParse(benchmark::State& state) {
  const Data& xml = fixture().xml;
  for (auto _ : state) {
    ErrorRecord failure;
    if (!parseXMLDocument(xml.data(), xml.size(), &failure))
      state.SkipWithError(failure.description().c_str());
  }
  perDictionary(state);
}

void BM_XMLRead(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(DictNode::dictNodeWithXMLData(fixture().xml));
  perDictionary(state);
}

void BM_XMLWrite(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(fixture().tree->XMLData());
  perDictionary(state);
}

// Counts the values and does nothing else with them.
class CountingDelegate final : public XMLPlistParserDelegate {
 public:
  std::int64_t values = 0;
  void didStartDict(XMLPlistParser&, Text) override {}
  void didStartDictInArray(XMLPlistParser&, Text) override {}
  void didEndDict(XMLPlistParser&, Text) override {}
  void didEndDictInArray(XMLPlistParser&, Text) override {}
  void didStartArray(XMLPlistParser&, Text) override {}
  void didStartArrayInArray(XMLPlistParser&, Text) override {}
  void didEndArray(XMLPlistParser&, Text) override {}
  void didEndArrayInArray(XMLPlistParser&, Text) override {}
  void foundString(XMLPlistParser&, Text, Text) override { ++values; }
  void foundStringInArray(XMLPlistParser&, Text, Text) override { ++values; }
  void foundInteger(XMLPlistParser&, std::int32_t, Text) override { ++values; }
  void foundIntegerInArray(XMLPlistParser&, std::int32_t, Text) override { ++values; }
  void foundReal(XMLPlistParser&, double, Text) override { ++values; }
  void foundRealInArray(XMLPlistParser&, double, Text) override { ++values; }
  void foundBoolean(XMLPlistParser&, bool, Text) override { ++values; }
  void foundBooleanInArray(XMLPlistParser&, bool, Text) override { ++values; }
  void parseErrorOccurred(XMLPlistParser&, const ErrorRecord&, std::int64_t,
                          std::int64_t) override {}
  void parserDidEndPlist(XMLPlistParser&) override {}
};

void BM_XMLStreamParse(benchmark::State& state) {
  XMLPlistParser parser(fixture().xmlPath);
  auto delegate = std::make_shared<CountingDelegate>();
  parser.setDelegate(delegate);
  for (auto _ : state) parser.parse();
  if (delegate->values != state.iterations() * (kDicts * 10 + 1))
    state.SkipWithError("streaming parser missed values");
  perDictionary(state);
}

void BM_BinaryRead(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(DictNode::dictNodeWithBinaryData(fixture().binary));
  perDictionary(state);
}

void BM_BinaryWrite(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(fixture().tree->binaryData());
  perDictionary(state);
}

void BM_DictBuild100kKeys(benchmark::State& state) {
  const std::vector<std::string>& keys = fixture().keys;
  for (auto _ : state) {
    DictNode dict;
    for (const std::string& key : keys) dict.putInt(1, key);
    benchmark::DoNotOptimize(dict.size());
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

void BM_HashMapBuild100kKeys(benchmark::State& state) {
  const std::vector<std::string>& keys = fixture().keys;
  for (auto _ : state) {
    std::unordered_map<std::string, PListNodePtr> map;
    for (const std::string& key : keys) map.insert_or_assign(key, std::make_shared<IntegerNode>(1));
    benchmark::DoNotOptimize(map.size());
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

BENCHMARK(BM_LibxmlParse)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_GuardedLibxmlParse)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_XMLRead)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_XMLStreamParse)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_XMLWrite)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_BinaryRead)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_BinaryWrite)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_DictBuild100kKeys)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_HashMapBuild100kKeys)->Unit(benchmark::kMillisecond)->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
  setLogSink([](std::string_view) {});
  Fixture& data = fixture();  // build the tree and the documents before any timing starts
  std::printf("tree: %d dictionaries of 10 keys; XML %zu bytes, binary %zu bytes\n", kDicts,
              data.xml.size(), data.binary.size());
  return bench::runWithRatios(
      argc, argv,
      {{"BM_XMLRead", "BM_LibxmlParse", "XML read / libxml2 parse"},
       {"BM_XMLRead", "BM_GuardedLibxmlParse", "XML read / guarded libxml2 parse"},
       {"BM_XMLStreamParse", "BM_LibxmlParse", "XML stream parse / libxml2 parse"},
       {"BM_XMLWrite", "BM_LibxmlParse", "XML write / libxml2 parse"},
       {"BM_BinaryRead", "BM_XMLRead", "binary read / XML read"},
       {"BM_BinaryWrite", "BM_XMLWrite", "binary write / XML write"},
       {"BM_DictBuild100kKeys", "BM_HashMapBuild100kKeys", "DictNode 100k puts / hash map"}});
}
