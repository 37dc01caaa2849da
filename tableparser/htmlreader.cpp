// HTML pages through gumbo (an HTML5 parser: tolerant of the malformed markup
// banks and mail clients produce). Rows are collected the way the selectors
// "table" > "tr" > "td, th" would pick them, descendants at every level, so a
// nested table's rows also show up inside its outer table.
#include "tablereaders.h"

#include <gumbo.h>

#include <cctype>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace corvina::tableparser {

namespace {

struct LimitExceeded {};

// Nested tables make every level walk all levels below it; a crafted page of
// deeply nested tables would otherwise cost quadratic time and memory.
class Budget
{
public:
    explicit Budget(std::size_t units) : m_left(units) {}
    void spend(std::size_t units)
    {
        if (units > m_left)
            throw LimitExceeded();
        m_left -= units;
    }

private:
    std::size_t m_left;
};

// gumbo checks element scopes by walking the stack of open elements, so its
// time grows with the square of the nesting depth (200 000 nested <div>s take
// minutes). Real pages nest a few dozen levels. This estimates the depth from
// the tags alone: void elements and elements that the next sibling closes do
// not count, and an end tag counts only when such an element is open.
bool nestingWithinLimit(std::string_view text, int limit)
{
    static const std::unordered_set<std::string_view> uncounted = {
        "area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param", "source",
        "track", "wbr", "td", "th", "tr", "p", "li", "dt", "dd", "option", "optgroup", "thead", "tbody",
        "tfoot", "colgroup", "rb", "rt", "rp", "!doctype"};
    std::unordered_map<std::string, int> open;
    int depth = 0;
    std::string name;
    for (std::size_t i = text.find('<'); i != std::string_view::npos; i = text.find('<', i + 1)) {
        std::size_t k = i + 1;
        const bool closing = k < text.size() && text[k] == '/';
        if (closing)
            ++k;
        name.clear();
        while (k < text.size() && name.size() < 32) {
            const char c = text[k];
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '!')
                break;
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            ++k;
        }
        if (name.empty() || uncounted.count(name) != 0)
            continue;
        int &count = open[name];
        if (!closing) {
            ++count;
            if (++depth > limit)
                return false;
        } else if (count > 0) {
            --count;
            --depth;
        }
    }
    return true;
}

const GumboVector *childrenOf(const GumboNode *node)
{
    if (node->type == GUMBO_NODE_ELEMENT)
        return &node->v.element.children;
    if (node->type == GUMBO_NODE_DOCUMENT)
        return &node->v.document.children;
    return nullptr; // text nodes; template contents are not part of the page
}

bool isElement(const GumboNode *node, GumboTag tag)
{
    return node->type == GUMBO_NODE_ELEMENT && node->v.element.tag == tag;
}

// Pre-order walk below `root` (root itself excluded) without recursion, so
// deep markup cannot exhaust the stack.
template <typename Visit>
void forEachDescendant(const GumboNode *root, Budget &budget, Visit visit)
{
    std::vector<std::pair<const GumboVector *, unsigned int>> stack;
    if (const GumboVector *children = childrenOf(root))
        stack.emplace_back(children, 0);
    while (!stack.empty()) {
        auto &[children, index] = stack.back();
        if (index >= children->length) {
            stack.pop_back();
            continue;
        }
        const auto *node = static_cast<const GumboNode *>(children->data[index++]);
        budget.spend(1);
        visit(node);
        if (const GumboVector *grandChildren = childrenOf(node))
            stack.emplace_back(grandChildren, 0);
    }
}

std::string cellText(const GumboNode *cell, Budget &budget)
{
    std::string text;
    bool first = true;
    forEachDescendant(cell, budget, [&](const GumboNode *node) {
        if (node->type != GUMBO_NODE_TEXT && node->type != GUMBO_NODE_WHITESPACE && node->type != GUMBO_NODE_CDATA)
            return;
        const char *piece = node->v.text.text;
        const std::string_view view = piece != nullptr ? std::string_view(piece) : std::string_view();
        budget.spend(view.size());
        if (!first)
            text += ' ';
        text += view;
        first = false;
    });
    return text;
}

struct Output {
    GumboOutput *output;
    const GumboOptions *options;
    ~Output()
    {
        if (output != nullptr)
            gumbo_destroy_output(options, output);
    }
};

} // namespace

void readHtml(std::string_view bytes, Rows &rows)
{
    const std::string text = decodeText(bytes);
    if (!nestingWithinLimit(text, 5000))
        return;
    GumboOptions options = kGumboDefaultOptions;
    // gumbo copies the whole stack of open elements into every parse error it
    // records: quadratic memory on deeply nested junk. Errors are not needed.
    options.max_errors = 0;
    Output parsed{gumbo_parse_with_options(&options, text.data(), text.size()), &options};
    if (parsed.output == nullptr || parsed.output->document == nullptr)
        return;

    // Generous for any real statement page (thousands of rows), small enough
    // to stop a hostile one quickly.
    Budget budget(16u * 1024 * 1024);
    Rows found;
    std::size_t cellCount = 0;
    try {
        forEachDescendant(parsed.output->document, budget, [&](const GumboNode *table) {
            if (!isElement(table, GUMBO_TAG_TABLE))
                return;
            forEachDescendant(table, budget, [&](const GumboNode *tr) {
                if (!isElement(tr, GUMBO_TAG_TR))
                    return;
                Row row;
                forEachDescendant(tr, budget, [&](const GumboNode *cell) {
                    if (isElement(cell, GUMBO_TAG_TD) || isElement(cell, GUMBO_TAG_TH))
                        row.push_back(cellText(cell, budget));
                });
                if (row.empty())
                    return;
                cellCount += row.size();
                if (cellCount > kMaxGridCells)
                    throw LimitExceeded();
                found.push_back(std::move(row));
            });
        });
    } catch (const LimitExceeded &) {
        return;
    }
    for (Row &row : found)
        rows.push_back(std::move(row));
}

} // namespace corvina::tableparser
