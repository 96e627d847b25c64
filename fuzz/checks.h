// What the fuzz targets check, as plain functions: the targets call them on
// every input, and the regression test calls them on every input a run once
// found failing (fuzz/regressions/<target>/) and on the seeds.
#ifndef ZUV_FUZZ_CHECKS_H
#define ZUV_FUZZ_CHECKS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zuv::fuzz {

// The store on arbitrary text. The input is the file's text, then up to 255
// bytes of changes, then one byte giving how many bytes the changes take.
// Opens the text, reads every template value and tests every section, then
// makes the changes one after another (set a value of each type, append a
// section, remove one), checking after each that the bytes outside the
// changed section are as they were, that a double word or binary value reads
// back as written, and that the store's text is the file's. Returns what went
// wrong, or an empty string.
std::string CheckStore(const uint8_t* data, size_t size);

// The template layer on an arbitrary driver file (the whole input; its last
// byte also picks the bus of the driver's path): load the table, save it,
// load again. The Save must write the bytes of the same sequence done in
// place exactly when the device reads that text as saved (and refuse,
// leaving the file alone, otherwise), and the second table must equal the
// first. Returns what went wrong, or
// an empty string.
std::string CheckTemplates(const uint8_t* data, size_t size);

// The template document on arbitrary bytes: `zuv8620 apply -` with them on a
// driver file in memory. Either the tool refuses (exit status 2, a message of
// one short line, the file unchanged), or it applies them, and then applying
// them again, or applying the file's export, changes no byte. Returns what
// went wrong, or an empty string.
std::string CheckDocument(const uint8_t* data, size_t size);

// Small inputs that reach the interesting paths: sections of every bus at the
// start, in the middle and at the end, comments, odd line ends, and a change
// of every kind. Name and bytes of each.
using Seeds = std::vector<std::pair<std::string, std::string>>;
Seeds StoreSeeds();
Seeds TemplateSeeds();
// Documents of the tests and the examples of docs/template-document.schema.json.
Seeds DocumentSeeds();

}  // namespace zuv::fuzz

#endif  // ZUV_FUZZ_CHECKS_H
