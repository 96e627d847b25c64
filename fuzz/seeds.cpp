#include <string>

#include "fuzz/checks.h"
#include "regfile/text_encoding.h"

namespace zuv::fuzz {

namespace {

const std::string kUsb =
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore\\Template";
const std::string kPci = "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\PCI\\Template\\QDR8620S\\Template";
const std::string kMxb = "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\QDR5294S";
const std::string kPci2369 = "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\PCI\\Template\\QDR2369S";

std::string Section(const std::string& prefix, int n, const char* eol = "\r\n") {
  return prefix + std::to_string(n) + "]" + eol + "\"SwitchID\"=dword:" + std::to_string(n) +
         eol + "\"ChanConfig\"=dword:3" + eol + "\"AOSettings 0\"=\"     0    10     0\"" + eol +
         "\"AOSettings 1\"=\"     0     5    -5\"" + eol;
}

const std::string kOther =
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\LoadClients\\Default]\r\n"
    "\"Dll\"=\"usb8620.dll\"\r\n"
    "; a comment line\r\n"
    "\"Prefix\"=\"DAQ\"\r\n"
    "\"Flags\"=hex:01,A0,FF ; trailing comment\r\n"
    "\"Order\"=dword:0000001A\r\n"
    "\"Names\"=multi_sz:\"a\",\"b\"\r\n\r\n";

std::string Repeated(const std::string& text, int times) {
  std::string repeated;
  repeated.reserve(text.size() * static_cast<size_t>(times));
  for (int i = 0; i < times; ++i) repeated += text;
  return repeated;
}

// One key holding 10 000 values.
std::string ManyValues() {
  std::string text = "[HKEY_LOCAL_MACHINE\\Drivers\\Many]\r\n";
  for (int i = 0; i < 10000; ++i) text += "\"V" + std::to_string(i) + "\"=dword:1\r\n";
  return text;
}

// The texts every seed starts from, for each of the four drivers.
std::vector<std::pair<std::string, std::string>> Texts() {
  return {
      {"usb-start", Section(kUsb, 0) + Section(kUsb, 1) + Section(kUsb, 2) + kOther},
      {"usb-end", kOther + " \r\n" + Section(kUsb, 0) + " \r\n" + Section(kUsb, 3)},
      {"usb-middle", kOther + Section(kUsb, 1) + kOther},
      {"usb-quirks", "; " + Section(kUsb, 2) + Section(kUsb, 2) + "\"x\"=\"a [ b\"\r\n" +
                         Section(kUsb, 11, "\n") + Section(kUsb, 1, "\r") +
                         "\"AOSettings 0\"=\"1 2 3\""},
      {"pci", kOther + Section(kPci, 0) + Section(kPci, 15)},
      {"mxb", Section(kMxb, 1) + kOther + Section(kMxb, 10)},
      {"pci2369", kOther + Section(kPci2369, 4)},
      {"empty", ""},
      // Shapes that make a search going back over the text, one linear in a
      // key's values, or conditions kept as text, slow: the fuzzers' time-out
      // and the regression test catch such work.
      {"usb-many-values", ManyValues() + Section(kUsb, 0)},
      {"usb-long-comment", "; " + Repeated("Template0]", 20000) + "\r\n" + Section(kUsb, 0)},
      {"usb-deep-blocks",
       Repeated("IF A\r\n", 20000) + Section(kUsb, 0) + Repeated("ENDIF\r\n", 20000)},
      // What the image build reads: a boot-hive section and a sysgen block
      // around templates, an "#if 0" copy, copies in both branches of an IF,
      // a deleted key and value, a continued byte list, an indented key, many
      // sections of one template, and a file ending inside an open block.
      {"usb-build",
       "; HIVE BOOT SECTION\r\n; @CESYSGEN IF CE_MODULES_USB\r\n" + Section(kUsb, 0) +
           "; @CESYSGEN ENDIF\r\n; END HIVE BOOT SECTION\r\n\r\n#if 0\r\n" + Section(kUsb, 0) +
           "#else\r\n\"x\"=hex:01,02,\\\r\n  03\r\n#endif\r\nIF BSP_X\r\n" + Section(kUsb, 1) +
           "ELSE\r\n" + Section(kUsb, 1) + "ENDIF\r\n" + Section(kUsb, 2) + "[-" + kUsb.substr(1) +
           "2]\r\n\"Gone\"=-\r\n; above\r\n  " + kOther +
           Repeated(Section(kUsb, 3) + "; @XIPREGION IF X\r\n", 50) + "IF BSP_OPEN\r\n"},
  };
}

// One change as CheckStore reads it: kind, template, name, then the data.
std::string Change(int kind, int n, int name = 0, const std::string& data = "") {
  std::string bytes;
  bytes += static_cast<char>(kind);
  bytes += static_cast<char>(n);
  if (kind < 5) bytes += static_cast<char>(name);
  return bytes + data;
}

}  // namespace

Seeds StoreSeeds() {
  const std::string changes[] = {
      Change(0, 0, 0, std::string("\x0a\x00\x00\x00", 4)) +             // SwitchID = 10
          Change(1, 0, 2, std::string("\x12     0     5    -5", 19)) +  // AOSettings 0
          Change(2, 1, 5, std::string("\x02\x01\xA0\xFF", 4)) +         // x = hex:01,A0,FF
          Change(3, 2, 4, std::string("\x02" "A\0\0\0", 5)) +           // Dll = multi_sz A
          Change(4, 3, 1) +                                             // a type of no form
          Change(5, 7) + Change(0, 7, 1, "\x01\x02\x03\x04") +          // append 7, set in it
          Change(6, 1) + Change(6, 7),                                  // remove 1 and 7
      Change(6, 0) + Change(6, 16) + Change(5, 16) + Change(0, 9, 0, "\xff\xff\xff\xff"),
  };
  Seeds seeds;
  const auto texts = Texts();
  for (size_t t = 0; t < texts.size(); ++t) {
    for (size_t c = 0; c < sizeof changes / sizeof changes[0]; ++c) {
      // The path byte comes first: each text with its own driver.
      const char path = static_cast<char>(texts[t].first == "pci"       ? 1
                                          : texts[t].first == "mxb"     ? 2
                                          : texts[t].first == "pci2369" ? 3
                                                                        : 0);
      const std::string tail = path + changes[c];
      seeds.emplace_back(texts[t].first + "-" + std::to_string(c),
                         texts[t].second + tail + static_cast<char>(tail.size()));
    }
  }
  return seeds;
}

Seeds TemplateSeeds() {
  Seeds seeds;
  for (const auto& [name, text] : Texts()) {
    // The last byte picks the driver: 0 PCI, 1 MXB, 2 USB, 3 PCI 2369.
    const char path = name == "pci" ? 0 : name == "mxb" ? 1 : name == "pci2369" ? 3 : 2;
    seeds.emplace_back(name, text + path);
  }
  // The sample in UTF-16, each ending in a unit whose last byte picks USB.
  const std::string text = Texts()[1].second;
  std::string bytes;
  if (EncodeText(TextEncoding::kUtf16Le, text, &bytes)) {
    seeds.emplace_back("usb-end-utf16le", bytes + std::string("\x0a\x02", 2));
  }
  if (EncodeText(TextEncoding::kUtf16Be, text, &bytes)) {
    seeds.emplace_back("usb-end-utf16be", bytes + std::string("\x00\x0a", 2));
  }
  return seeds;
}

}  // namespace zuv::fuzz
