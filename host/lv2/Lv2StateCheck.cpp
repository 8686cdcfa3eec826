#include "host/lv2/Lv2StateCheck.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <serd/serd.h>
#include <sord/sord.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tolvex::host {

namespace {

/// Nesting of blank nodes `[ ]` and collections `( )` in the text. serd reads
/// each level by recursion, in up to 800 bytes of stack (20000 levels
/// overflow 8 MiB); a real state nests a few levels.
constexpr int maxNesting = 256;

/// What sratom's recursion may cost, estimated in bytes of stack. It reads a
/// nested blank node in about 600 bytes and a list cell in about 70 (15000
/// nested nodes or 120000 cells overflow 8 MiB), counted here as 1 KiB and
/// 128 bytes. 4 MiB so estimated stays within half the 8 MiB stack of the
/// threads here and lets a vector of 32768 values through; real states hold
/// blobs as one literal, and nest a few levels.
constexpr std::size_t nodeCost = 1024;
constexpr std::size_t cellCost = 128;
constexpr std::size_t maxCost = std::size_t(4) << 20;

/// The prefixes lilv declares before it reads a state, exactly those: a
/// statement with another prefix is dropped by lilv's reader and refused
/// by this one, so both read the same statements.
constexpr std::pair<const char*, const char*> lilvPrefixes[] = {
    {"atom", LV2_ATOM_PREFIX},
    {"lv2", LV2_CORE_PREFIX},
    {"pset", LV2_PRESETS_PREFIX},
    {"rdf", "http://www.w3.org/1999/02/22-rdf-syntax-ns#"},
    {"rdfs", "http://www.w3.org/2000/01/rdf-schema#"},
    {"state", LV2_STATE_PREFIX},
    {"xsd", "http://www.w3.org/2001/XMLSchema#"},
};

template <auto release>
struct Release {
    template <typename T>
    void operator()(T* handle) const
    {
        release(handle);
    }
};
using WorldPtr = std::unique_ptr<SordWorld, Release<sord_world_free>>;
using ModelPtr = std::unique_ptr<SordModel, Release<sord_free>>;
using IterPtr = std::unique_ptr<SordIter, Release<sord_iter_free>>;
using EnvPtr = std::unique_ptr<SerdEnv, Release<serd_env_free>>;
using ReaderPtr = std::unique_ptr<SerdReader, Release<serd_reader_free>>;

struct NodeFree {
    SordWorld* world;
    void operator()(SordNode* node) const { sord_node_free(world, node); }
};
using NodePtr = std::unique_ptr<SordNode, NodeFree>;

/// Past the end of the string literal whose opening quote is at `at`, or the
/// end of the text. A long literal (three quotes) may span lines; a short
/// one ends at a line break, where serd reports an error.
std::size_t stringEnd(std::string_view text, std::size_t at)
{
    const std::string_view closing = text[at] == '"' ? R"(""")" : "'''";
    const bool isLong = text.substr(at, 3) == closing;
    for (std::size_t i = at + (isLong ? 3 : 1); i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (isLong ? text.substr(i, 3) == closing
                        : text[i] == text[at] || text[i] == '\n' || text[i] == '\r')
            return i + (isLong ? 3 : 1);
    }
    return text.size();
}

/// Whether the text nests blank nodes and collections at most maxNesting
/// deep, outside IRIs, string literals, comments and escaped characters of
/// names. Exact for valid Turtle; serd stops at the first error, having read
/// a valid beginning only.
bool nestsShallowly(std::string_view text)
{
    const auto upTo = [&](std::size_t found) { return std::min(found, text.size()); };
    int depth = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        switch (text[at]) {
        case '<':
            at = upTo(text.find('>', at));
            break;
        case '#':
            at = upTo(text.find_first_of("\r\n", at));
            break;
        case '"':
        case '\'':
            at = stringEnd(text, at) - 1;
            break;
        case '\\':
            ++at;
            break;
        case '[':
        case '(':
            if (++depth > maxNesting)
                return false;
            break;
        case ']':
        case ')':
            depth = std::max(depth - 1, 0);
            break;
        default:
            break;
        }
    }
    return true;
}

/// Reading the text into the model, as sord's reader does, but strictly:
/// any error fails the whole (sord's reader drops a statement whose nodes
/// do not map, lilv's reader goes on with what it read so far).
struct Reading {
    SordWorld* world;
    SordModel* model;
    SerdEnv* env;
    bool failed = false;
};

SerdStatus noteError(void* reading, const SerdError*)
{
    static_cast<Reading*>(reading)->failed = true;
    return SERD_SUCCESS;
}

SerdStatus setBase(void* reading, const SerdNode* uri)
{
    return serd_env_set_base_uri(static_cast<Reading*>(reading)->env, uri);
}

SerdStatus setPrefix(void* reading, const SerdNode* name, const SerdNode* uri)
{
    return serd_env_set_prefix(static_cast<Reading*>(reading)->env, name, uri);
}

/// Whether sord maps the node without fault: a prefixed name must expand to
/// an IRI with a scheme (sord leaks the expansion of one without).
bool expandsToIri(const SerdEnv* env, const SerdNode* node)
{
    if (!node || node->type != SERD_CURIE)
        return true;
    SerdChunk prefix{nullptr, 0};
    SerdChunk suffix{nullptr, 0};
    if (serd_env_expand(env, node, &prefix, &suffix) != SERD_SUCCESS)
        return false;
    std::string iri(reinterpret_cast<const char*>(prefix.buf), prefix.len);
    iri.append(reinterpret_cast<const char*>(suffix.buf), suffix.len);
    return serd_uri_string_has_scheme(reinterpret_cast<const uint8_t*>(iri.c_str()));
}

SerdStatus addStatement(void* handle, SerdStatementFlags, const SerdNode*, const SerdNode* subject,
                        const SerdNode* predicate, const SerdNode* object, const SerdNode* datatype,
                        const SerdNode* language)
{
    auto& reading = *static_cast<Reading*>(handle);
    const auto node = [&](const SerdNode* from, const SerdNode* type, const SerdNode* lang) {
        return NodePtr(sord_node_from_serd_node(reading.world, reading.env, from, type, lang),
                       NodeFree{reading.world});
    };
    for (const SerdNode* part : {subject, predicate, object, datatype})
        if (!expandsToIri(reading.env, part)) {
            reading.failed = true;
            return SERD_ERR_BAD_CURIE;
        }
    const NodePtr s = node(subject, nullptr, nullptr), p = node(predicate, nullptr, nullptr),
                  o = node(object, datatype, language);
    if (!s || !p || !o) {
        reading.failed = true;
        return SERD_ERR_BAD_ARG;
    }
    const SordQuad quad{s.get(), p.get(), o.get(), nullptr};
    sord_add(reading.model, quad);
    return SERD_SUCCESS;
}

/// Reads the text into the model with the prefixes lilv declares; false on
/// any error.
bool parse(SordWorld* world, SordModel* model, const char* turtle)
{
    SerdNode base = SERD_NODE_NULL;
    const EnvPtr env(serd_env_new(&base));
    for (const auto& [prefix, uri] : lilvPrefixes)
        serd_env_set_prefix_from_strings(env.get(), reinterpret_cast<const uint8_t*>(prefix),
                                         reinterpret_cast<const uint8_t*>(uri));
    Reading reading{world, model, env.get()};
    sord_world_set_error_sink(world, &noteError, &reading);
    const ReaderPtr reader(serd_reader_new(SERD_TURTLE, &reading, nullptr, &setBase, &setPrefix,
                                           &addStatement, nullptr));
    serd_reader_set_strict(reader.get(), true);
    serd_reader_set_error_sink(reader.get(), &noteError, &reading);
    const SerdStatus status =
        serd_reader_read_string(reader.get(), reinterpret_cast<const uint8_t*>(turtle));
    sord_world_set_error_sink(world, nullptr, nullptr);
    return status == SERD_SUCCESS && !reading.failed;
}

/// The URIs the walk looks for, interned in the check's world.
class Vocabulary {
    SordWorld* m_world;
    std::vector<SordNode*> m_nodes; // first: the URIs below are made in order

    const SordNode* uri(const char* text)
    {
        m_nodes.push_back(sord_new_uri(m_world, reinterpret_cast<const uint8_t*>(text)));
        return m_nodes.back();
    }

public:
    explicit Vocabulary(SordWorld* world) : m_world(world) {}
    ~Vocabulary()
    {
        for (SordNode* node : m_nodes)
            sord_node_free(m_world, node);
    }
    Vocabulary(const Vocabulary&) = delete;
    Vocabulary& operator=(const Vocabulary&) = delete;

    const SordNode* const type = uri("http://www.w3.org/1999/02/22-rdf-syntax-ns#type");
    const SordNode* const value = uri("http://www.w3.org/1999/02/22-rdf-syntax-ns#value");
    const SordNode* const first = uri("http://www.w3.org/1999/02/22-rdf-syntax-ns#first");
    const SordNode* const rest = uri("http://www.w3.org/1999/02/22-rdf-syntax-ns#rest");
    const SordNode* const childType = uri(LV2_ATOM__childType);
    const SordNode* const preset = uri(LV2_PRESETS__Preset);
    const SordNode* const port = uri(LV2_CORE__port);
    const SordNode* const portValue = uri(LV2_PRESETS__value);
    const SordNode* const portDefault = uri(LV2_CORE__default);
    const SordNode* const state = uri(LV2_STATE__state);
};

bool named(const SordNode* node, const char* uri)
{
    return std::strcmp(reinterpret_cast<const char*>(sord_node_get_string(node)), uri) == 0;
}

/// Whether a vector's child type is one sratom knows the size of; for
/// another it writes nothing, and lilv reads an atom that is not there.
bool knownChildType(const SordNode* child)
{
    static constexpr const char* sized[] = {LV2_ATOM__Int,    LV2_ATOM__Long, LV2_ATOM__Float,
                                            LV2_ATOM__Double, LV2_ATOM__Bool, LV2_ATOM__URID};
    return child && std::any_of(std::begin(sized), std::end(sized),
                                [&](const char* uri) { return named(child, uri); });
}

/// Walks what lilv reads of each preset in a model, the values of the
/// ports and of the state's properties, the way sratom reads them: into
/// blank nodes and lists by recursion, one match of a property where it
/// takes one. Each node and list cell visited spends one of as many visits
/// as the model has statements: in a tree, as lilv writes states, each leads
/// to one; nodes shared over and over or in a cycle need more.
class StateWalk {
public:
    StateWalk(SordModel* model, const Vocabulary& words)
        : m_model(model), m_words(words), m_visits(sord_num_quads(model) + 64)
    {}

    bool presetsReadable()
    {
        const auto presets = matches(nullptr, m_words.type, m_words.preset, SORD_SUBJECT);
        for (const SordNode* preset : presets) {
            for (const SordNode* port : matches(preset, m_words.port, nullptr, SORD_OBJECT))
                for (const SordNode* predicate : {m_words.portValue, m_words.portDefault})
                    for (const SordNode* value : matches(port, predicate, nullptr, SORD_OBJECT))
                        m_pending.push_back({value, 0, false});
            for (const SordNode* state : matches(preset, m_words.state, nullptr, SORD_OBJECT))
                for (const SordNode* value : matches(state, nullptr, nullptr, SORD_OBJECT))
                    m_pending.push_back({value, 0, false});
        }
        while (!m_pending.empty()) {
            const Visit next = m_pending.back();
            m_pending.pop_back();
            if (!visit(next))
                return false;
        }
        return !presets.empty(); // lilv follows a null subject without one
    }

private:
    struct Visit {
        const SordNode* node;
        std::size_t cost; // of sratom's recursion on the way to it
        bool event;       // an element of a sequence's list
    };

    /// The `part` of the statements matching the pattern, at most `most`.
    std::vector<const SordNode*> matches(const SordNode* subject, const SordNode* predicate,
                                         const SordNode* object, SordQuadIndex part,
                                         std::size_t most = SIZE_MAX) const
    {
        std::vector<const SordNode*> found;
        const IterPtr iter(sord_search(m_model, subject, predicate, object, nullptr));
        for (; !sord_iter_end(iter.get()) && found.size() < most; sord_iter_next(iter.get()))
            found.push_back(sord_iter_get_node(iter.get(), part));
        return found;
    }
    /// The one object of a property sratom takes one of; null when there is
    /// none or more than one.
    const SordNode* single(const SordNode* subject, const SordNode* predicate) const
    {
        const auto found = matches(subject, predicate, nullptr, SORD_OBJECT, 2);
        return found.size() == 1 ? found.front() : nullptr;
    }

    bool visit(const Visit& item);
    bool list(const SordNode* cell, std::size_t cost, bool events);

    SordModel* m_model;
    const Vocabulary& m_words;
    std::size_t m_visits; // left
    std::vector<Visit> m_pending;
};

/// A literal or an IRI is read as it is. A blank node is an event (its
/// value read), a vector (with a child type sratom knows the size of), a
/// tuple or sequence (a list as its value), or an object whose every value
/// is read.
bool StateWalk::visit(const Visit& item)
{
    if (m_visits-- == 0)
        return false;
    if (sord_node_get_type(item.node) != SORD_BLANK)
        return true;
    const std::size_t cost = item.cost + nodeCost;
    if (cost > maxCost)
        return false;
    if (item.event) {
        const SordNode* value = single(item.node, m_words.value);
        if (value)
            m_pending.push_back({value, cost, false});
        return value != nullptr;
    }
    const auto types = matches(item.node, m_words.type, nullptr, SORD_OBJECT, 2);
    if (types.size() > 1)
        return false;
    const auto typed = [&](const char* uri) { return !types.empty() && named(types[0], uri); };
    const bool vector = typed(LV2_ATOM__Vector), sequence = typed(LV2_ATOM__Sequence);
    if (vector && !knownChildType(single(item.node, m_words.childType)))
        return false;
    if (vector || sequence || typed(LV2_ATOM__Tuple)) {
        const SordNode* value = single(item.node, m_words.value);
        return value && list(value, cost, sequence);
    }
    for (const SordNode* value : matches(item.node, nullptr, nullptr, SORD_OBJECT))
        m_pending.push_back({value, cost, false});
    return true;
}

/// A list's cells, as sratom reads them: while a cell has a first element
/// and a rest.
bool StateWalk::list(const SordNode* cell, std::size_t cost, bool events)
{
    for (;;) {
        if (m_visits-- == 0)
            return false;
        const auto firsts = matches(cell, m_words.first, nullptr, SORD_OBJECT, 2);
        const auto rests = matches(cell, m_words.rest, nullptr, SORD_OBJECT, 2);
        if (firsts.empty() || rests.empty())
            return true;
        cost += cellCost;
        if (firsts.size() > 1 || rests.size() > 1 || cost > maxCost)
            return false;
        m_pending.push_back({firsts.front(), cost, events});
        cell = rests.front();
    }
}

} // namespace

bool lilvCanReadState(const char* turtle)
{
    if (!turtle || !nestsShallowly(turtle))
        return false;
    const WorldPtr world(sord_world_new());
    Vocabulary words(world.get());
    const ModelPtr model(sord_new(world.get(), SORD_SPO | SORD_OPS, false));
    return parse(world.get(), model.get(), turtle) &&
           StateWalk(model.get(), words).presetsReadable();
}

} // namespace tolvex::host
