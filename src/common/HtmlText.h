#pragma once

#include "common/Types.h"

// The text with every opening tag ("<" and a letter, up to the next ">", self-closing tags
// included) replaced by one blank, and the text between tags kept. Closing tags ("</...>") stay:
// the note summary clean-up turns the ones that separate blocks into blanks. A "<" that opens no
// tag, or a tag that never closes, stays as text. Absent gives absent.
OptString stringByStrippingHTML(const OptString& text);
