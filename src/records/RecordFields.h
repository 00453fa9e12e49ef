#pragma once

#include "common/Types.h"

#include <utility>

// Field declarations for the plain records: each declares a private field with a getter named
// after it and a setter that stores its argument unchanged. Records have many fields and no
// logic in their accessors, so spelling every pair out would only hide the few that matter.
//
// Use inside a class body, without a trailing semicolon; the macro leaves the access at public.

// A text field that can be absent (absent and empty are different things).
#define TORVANE_TEXT_FIELD_OF_RECORD(Name, Setter)         \
public:                                                    \
    const OptString& Name() const { return Name##_; }      \
    void Setter(OptString v) { Name##_ = std::move(v); }   \
                                                           \
private:                                                   \
    OptString Name##_;                                     \
                                                           \
public:

// A field of any copyable type, with its initial value.
#define TORVANE_VALUE_FIELD_OF_RECORD(Type, Name, Setter, Initial) \
public:                                                            \
    const Type& Name() const { return Name##_; }                   \
    void Setter(Type v) { Name##_ = std::move(v); }                \
                                                                   \
private:                                                           \
    Type Name##_ = Initial;                                        \
                                                                   \
public:
