// Two-colour pictures keep their colours: a 1-bit record is promoted by the rule "index 0
// black, any other white", so one is handed over only when its table says just that.
#pragma once

#include "dib_record.h"

namespace picodec {

// A 1-bit picture whose table is not black then white becomes a 4-bit one with the same
// table entries and indices; any other picture is returned as it is.
DibOwner keepTwoColours(DibOwner dib);

}  // namespace picodec
