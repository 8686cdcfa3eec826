#pragma once

namespace tolvex::host {

/// Whether lilv can read `turtle` (UTF-8, NUL-terminated, exactly as it is
/// given to lilv_state_new_from_string) as a plugin state without following
/// a null pointer or exhausting the stack or the time. lilv and the libraries
/// under it trust the text they read: a document without a subject typed
/// pset:Preset, nesting deep enough to overflow serd's recursive reader,
/// blank nodes that refer to themselves, nest deeply or are shared over and
/// over, a vector without a known child type or a sequence event without a
/// value each crash it or never end. The check reads the text with serd into
/// a model of its own, refusing any syntax error, and walks what lilv and
/// sratom would read. Any thread; no lilv world needed.
bool lilvCanReadState(const char* turtle);

} // namespace tolvex::host
