// The version's texts, made from the numbers the build passes in (TALMOX_VERSION_MAJOR, _MINOR
// and _PATCH, set by the project's version in CMakeLists.txt): the About box and the version
// resource both read them, so the two cannot disagree.
#pragma once

#define TALMOX_STR2(x) #x
#define TALMOX_STR(x) TALMOX_STR2(x)

// What the About box and the Properties' "Product version" show: "1.0".
#define TALMOX_VERSION_SHORT TALMOX_STR(TALMOX_VERSION_MAJOR) "." TALMOX_STR(TALMOX_VERSION_MINOR)
// The four-part file version: "1.0.0.0".
#define TALMOX_VERSION_FILE TALMOX_VERSION_SHORT "." TALMOX_STR(TALMOX_VERSION_PATCH) ".0"
#define TALMOX_VERSION_NUMBERS TALMOX_VERSION_MAJOR, TALMOX_VERSION_MINOR, TALMOX_VERSION_PATCH, 0

#define TALMOX_MAKER "Varndel"
