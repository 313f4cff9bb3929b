// Builds ISO base media files (HEIF, CR3, MP4, QuickTime) box by box, so that
// tests and fuzz seeds can describe well-formed and damaged layouts alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvane::testing {

using Bytes = std::vector<std::uint8_t>;

Bytes operator+(Bytes a, const Bytes& b);
Bytes text(const std::string& s);
Bytes big(std::uint64_t value, int n);  // n bytes, big-endian

// A box: 32-bit size, four-character type, data; a full box puts a version
// byte and 24 bits of flags first.
Bytes box(const std::string& type, const Bytes& data);
Bytes fullBox(const std::string& type, int version, const Bytes& data);
// A uuid box: its 16-byte user type, written as in "85c0b687-820f-...".
Bytes uuidBox(const std::string& userType, const Bytes& data);

// Seconds from 1904-01-01 UTC, as a movie header counts them.
std::uint64_t movieTime(std::int64_t unixSeconds);
// A version-0 movie header with that creation time.
Bytes movieHeader(std::uint64_t created);

// Canon CR3: ftyp "crx ", then moov holding Canon's uuid box with its own
// header box and CMT1 (IFD0), CMT2 (the Exif IFD, holding DateTimeOriginal
// in its first directory), CMT3 and CMT4, then the movie header.
Bytes canonRaw(const std::string& dateTimeOriginal, std::uint64_t created);

// An XMP packet naming a date property as an attribute or as an element.
Bytes xmpPacket(const std::string& property, const std::string& value, bool asElement);
constexpr const char* kXmpUserType = "be7acfcb-97a9-42e8-9c71-999491e3afac";

}  // namespace kelvane::testing
