#include "iso_box_builder.h"

#include <stdexcept>

#include "tiff_builder.h"

namespace kelvane::testing {

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes big(std::uint64_t value, int n) {
  Bytes out;
  for (int k = n - 1; k >= 0; --k) out.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
  return out;
}

Bytes box(const std::string& type, const Bytes& data) { return big(data.size() + 8, 4) + text(type) + data; }

Bytes fullBox(const std::string& type, int version, const Bytes& data) {
  return box(type, Bytes{static_cast<std::uint8_t>(version), 0, 0, 0} + data);
}

Bytes uuidBox(const std::string& userType, const Bytes& data) {
  Bytes id;
  for (std::size_t k = 0; k < userType.size(); ++k) {
    if (userType[k] == '-') continue;
    id.push_back(static_cast<std::uint8_t>(std::stoul(userType.substr(k, 2), nullptr, 16)));
    ++k;
  }
  if (id.size() != 16) throw std::invalid_argument("a user type has 16 bytes: " + userType);
  return box("uuid", id + data);
}

std::uint64_t movieTime(std::int64_t unixSeconds) {
  return static_cast<std::uint64_t>(unixSeconds + 2'082'844'800);
}

Bytes movieHeader(std::uint64_t created) {
  return fullBox("mvhd", 0, big(created, 4) + big(created, 4) + big(600, 4) + Bytes(80, 0));
}

Bytes canonRaw(const std::string& dateTimeOriginal, std::uint64_t created) {
  TiffBuilder ifd0(ByteOrder::Intel);
  ifd0.directory({{271, kAscii, 4, TiffBuilder::raw('C', 'a', 'n', 0)}});
  TiffBuilder exif(ByteOrder::Intel);
  const std::size_t dateAt = 8 + 2 + 12 + 4;  // right after the one-entry directory
  exif.directory({{36867, kAscii, static_cast<std::uint32_t>(dateTimeOriginal.size() + 1),
                   exif.number(static_cast<std::uint32_t>(dateAt))}});
  exif.append(text(dateTimeOriginal) + Bytes{0});
  const Bytes canon =
      uuidBox("85c0b687-820f-11e0-8111-f4ce462b6a48",
              box("CNCV", text("CanonCR3_001/00.09.00/00.00.00")) + box("CCTP", Bytes(24, 0)) +
                  box("CTBO", Bytes(80, 0)) + box("CMT1", ifd0.bytes()) + box("CMT2", exif.bytes()) +
                  box("CMT3", Bytes(16, 0)) + box("CMT4", Bytes(16, 0)) + box("THMB", Bytes(32, 0)));
  return box("ftyp", text("crx ") + big(1, 4) + text("crx isom")) +
         box("moov", canon + movieHeader(created)) + box("mdat", Bytes(64, 0));
}

Bytes xmpPacket(const std::string& property, const std::string& value, bool asElement) {
  const std::string description =
      asElement ? "<rdf:Description rdf:about=''>\n <" + property + ">" + value + "</" + property +
                      ">\n</rdf:Description>"
                : "<rdf:Description rdf:about='' xmlns:xmp='http://ns.adobe.com/xap/1.0/'\n  " + property +
                      "='" + value + "'/>";
  return text(
      "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
      "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n" +
      description + "\n</rdf:RDF></x:xmpmeta>\n<?xpacket end='w'?>");
}

}  // namespace kelvane::testing
