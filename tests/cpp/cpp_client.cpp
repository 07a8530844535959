// A C++ client, built in the tree and against the installed package: a
// document made from std::string_view slices of one line of text, looked at
// with ranges algorithms, saved and loaded through the layer, and what const
// allows, checked by the compiler.
#include <quolan/containers.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ranges>
#include <string>
#include <string_view>
#include <vector>

namespace q = quolan;

static int failures = 0;
#define CHECK(cond) \
    ((cond) ? (void)0 : (void)(++failures, std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond)))

template <class C>
concept walks = std::ranges::input_range<C> && std::ranges::common_range<C>;
static_assert(walks<q::Array> && walks<q::ArrayTyped> && walks<q::ArrayDefer> && walks<q::Dict> &&
              walks<q::DictTyped> && walks<q::DictDefer> && walks<q::GenSet> && walks<const q::Dict> &&
              walks<q::ConstGenSetView> && walks<q::ArrayView>);
template <class C>
concept changes = requires(C c, const q::Dict &other) { c.put("k", 1); c.push_back(1); c.erase("k"); c.load(q::StreamView()); };
static_assert(changes<q::Dict &> && changes<q::DictView> && !changes<const q::Dict &> && !changes<q::ConstDictView>);
static_assert(!std::is_convertible_v<const q::Dict &, q::DictView> && std::is_convertible_v<const q::Dict &, q::ConstDictView>);

namespace {

// "name=ada;langs=c,c++;year=1843": the keys and texts are slices of the
// line, none of them ends in a NUL.
q::Dict parse(std::string_view line)
{
    auto doc = q::Dict::make();
    for (auto field : line | std::views::split(';')) {
        std::string_view pair(field.begin(), field.end());
        const auto eq = pair.find('=');
        const std::string_view key = pair.substr(0, eq), text = pair.substr(eq + 1);
        if (key == "year") {
            CHECK(doc.put(key, std::stoi(std::string(text))).ok());
        } else if (text.find(',') != std::string_view::npos) {
            auto list = q::Array::make();
            for (auto part : text | std::views::split(','))
                CHECK(list.push_back(std::string_view(part.begin(), part.end())).ok());
            CHECK(doc.put(key, std::move(list)).ok() && !list);
        } else {
            CHECK(doc.put(key, text).ok());
        }
    }
    return doc;
}

std::string text_of(const q::Value &v) { return std::string(v.as_string_view().value_or("?")); }

void ranges_over_a_document(q::Dict &doc)
{
    const q::Dict &read = doc;
    CHECK(read.count() == 3 && !read.empty() && read.contains(std::string("langs")) && !read.contains("lang"));
    CHECK(text_of(*read.get(std::string_view("name=").substr(0, 4))) == "ada");
    auto year = std::ranges::find_if(read, [](const q::Entry &e) { return e.key.as_string_view() == "year"; });
    CHECK(year != read.end() && year->value.as_int() == 1843);

    auto langs = q::view_cast<q::ConstArrayView>(read.get("langs")->as_object());
    std::vector<std::string> names;
    std::ranges::transform(langs, std::back_inserter(names), text_of);
    CHECK((names == std::vector<std::string>{"c", "c++"}));
    CHECK(std::ranges::count_if(langs, [](const q::Value &v) { return v.as_string_view()->size() > 1; }) == 1);
    std::vector<q::Value> values(langs.begin(), langs.end());
    CHECK(values.size() == 2 && text_of(values[1]) == "c++");

    const std::vector<q::Entry> entries = read.to_vector();
    auto keys = entries | std::views::transform([](const q::Entry &e) { return text_of(e.key); });
    CHECK(std::ranges::equal(keys, std::vector<std::string>{"name", "langs", "year"}));

    auto set = q::GenSet::make();
    for (int32_t n : {3, 1, 3, 2}) CHECK(set.insert(n).ok());
    std::vector<int32_t> members;
    std::ranges::transform(set.to_vector(), std::back_inserter(members), [](const q::Value &v) { return *v.as_int(); });
    std::ranges::sort(members);
    CHECK((members == std::vector<int32_t>{1, 2, 3}));
    CHECK(doc.erase(std::string_view("name")).ok() && !doc.contains("name") && doc.count() == 2);
}

// The file functions themselves are the C client's business; here, what
// the layer adds: text paths, owning results, the class check.
void files(const q::Dict &doc, const std::string &path)
{
    CHECK(q::save_file(doc, path).ok());
    auto loaded = q::load_file<q::Dict>(std::string_view(path));
    CHECK(loaded.ok() && loaded->same_content(doc) && !loaded->equals(doc));
    auto any = q::load_file(path);
    CHECK(any.ok() && q::view_cast<q::DictView>(any.value));
    auto wrong = q::load_file<q::GenSet>(path.c_str());
    CHECK(wrong.status == StatusBadType && !wrong.value);
    CHECK(std::remove(path.c_str()) == 0 && q::load_file(path).status == StatusFailed);
}

}  // namespace

int main()
{
    char dir[] = "/tmp/quolan-cpp-client-XXXXXX";
    CHECK(mkdtemp(dir) != nullptr);
    std::string line = "name=ada;langs=c,c++;year=1843";
    auto doc = parse(line);
    ranges_over_a_document(doc);
    files(doc, std::string(dir) + "/doc.qcf");
    CHECK(std::remove(dir) == 0);
    if (failures == 0) std::printf("C++ client ok\n");
    return failures == 0 ? 0 : 1;
}
