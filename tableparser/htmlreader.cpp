// HTML pages through gumbo (an HTML5 parser: tolerant of the malformed markup
// banks and mail clients produce). Rows are collected the way the selectors
// "table" > "tr" > "td, th" would pick them, descendants at every level, so a
// nested table's rows also show up inside its outer table.
#include "tablereaders.h"

#include <gumbo.h>

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
    ~Output()
    {
        if (output != nullptr)
            gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
};

} // namespace

void readHtml(std::string_view bytes, Rows &rows)
{
    const std::string text = decodeText(bytes);
    Output parsed{gumbo_parse_with_options(&kGumboDefaultOptions, text.data(), text.size())};
    if (parsed.output == nullptr || parsed.output->document == nullptr)
        return;

    // Generous for any real statement page (thousands of rows), small enough
    // to stop a hostile one quickly.
    Budget budget(64u * 1024 * 1024);
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
