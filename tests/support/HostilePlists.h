#pragma once

#include <string>

// Property lists built to exhaust a parser: deep nesting in XML and in the binary format.
namespace testsupport {

// An XML list whose dictionary holds `levels` arrays, each inside the one before. With
// `commentedCloses`, every array's closing tag sits in a comment and the real ones come at the
// end, so a count of tags that ignored comments would see no nesting at all.
std::string NestedXml(int levels, bool commentedCloses = false);

// A binary list of `objects` objects: a dictionary {"a": array 2} on top, and array i holding
// `fanOut` references to array i + 1. With fanOut 2 the tree doubles at every level while the
// file stays a few hundred bytes.
std::string ChainedBinary(int objects, int fanOut = 1);

}  // namespace testsupport
