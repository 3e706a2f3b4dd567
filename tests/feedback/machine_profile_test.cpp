#include "app/feedback/machine_profile.hpp"

#include <gtest/gtest.h>

namespace twinlens {
namespace {

const char* const kOsRelease =
    "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
    "NAME=\"Debian GNU/Linux\"\n"
    "VERSION_ID=\"12\"\n";
const char* const kUname = "Linux 6.1.0-18-amd64 #1 SMP PREEMPT_DYNAMIC x86_64 GNU/Linux\n";
const char* const kCpuinfo =
    "processor\t: 0\n"
    "vendor_id\t: GenuineIntel\n"
    "model name\t: Intel(R) Xeon(R) CPU @ 2.20GHz\n"
    "\n"
    "processor\t: 1\n"
    "vendor_id\t: GenuineIntel\n"
    "model name\t: Intel(R) Xeon(R) CPU @ 2.20GHz\n";
const char* const kMeminfo =
    "MemTotal:        8154332 kB\n"
    "MemFree:          512000 kB\n";

TEST(MachineProfile, DescribesSystemKernelProcessorCoresAndMemory) {
  EXPECT_EQ(MachineProfile::textFromSources({kOsRelease, kUname, kCpuinfo, kMeminfo}),
            "Operating system: Debian GNU/Linux 12 (bookworm)\n"
            "Kernel: Linux 6.1.0-18-amd64 #1 SMP PREEMPT_DYNAMIC x86_64 GNU/Linux\n"
            "Processor: Intel(R) Xeon(R) CPU @ 2.20GHz\n"
            "Cores: 2\n"
            "Memory: 7.8 GB\n");
}

TEST(MachineProfile, MissingSourcesLeaveTheirLinesOutAndArmIsNamedByItsHardware) {
  EXPECT_EQ(MachineProfile::textFromSources({}), "");
  EXPECT_EQ(MachineProfile::textFromSources({"", kUname, "", ""}),
            "Kernel: Linux 6.1.0-18-amd64 #1 SMP PREEMPT_DYNAMIC x86_64 GNU/Linux\n");
  // ARM processors are named by their hardware line.
  const char* arm =
      "processor\t: 0\nBogoMIPS\t: 108.00\n\nprocessor\t: 1\nBogoMIPS\t: 108.00\n\n"
      "Hardware\t: BCM2835\n";
  EXPECT_EQ(MachineProfile::textFromSources({"", "", arm, ""}), "Processor: BCM2835\nCores: 2\n");
}

TEST(MachineProfile, MemoryNeedsAWholeNumberOfKilobytes) {
  struct Case {
    const char* meminfo;
    const char* expected;
  };
  const Case cases[] = {
      {"MemTotal: 1048576 kB\n", "1.0 GB"},
      {"MemTotal:\t16318412 kB", "15.6 GB"},
      {"MemFree: 1048576 kB\n", ""},
      {"MemTotal: lots kB\n", ""},
      {"MemTotal: 1048576 MB\n", ""},
      {"MemTotal: 1048576\n", ""},
      {"MemTotal: -5 kB\n", ""},
      {"MemTotal: 99999999999999999999999 kB\n", ""},
      {"MemTotal:\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.meminfo);
    EXPECT_EQ(MachineProfile::memoryText(c.meminfo), c.expected);
  }
}

TEST(MachineProfile, ValuesAreMatchedByWholeNameAndOsReleaseOnesMayBeQuotedEitherWay) {
  EXPECT_EQ(MachineProfile::osReleaseValue("PRETTY_NAME=\"A B\"\n", "PRETTY_NAME"), "A B");
  EXPECT_EQ(MachineProfile::osReleaseValue("PRETTY_NAME='A B'\n", "PRETTY_NAME"), "A B");
  EXPECT_EQ(MachineProfile::osReleaseValue("PRETTY_NAME=Plain\n", "PRETTY_NAME"), "Plain");
  EXPECT_EQ(MachineProfile::osReleaseValue("PRETTY_NAME=\"\n", "PRETTY_NAME"), "\"");
  // A longer key that starts with the one asked for is a different key.
  EXPECT_EQ(MachineProfile::osReleaseValue("PRETTY_NAMES=x\nPRETTY_NAME=y\n", "PRETTY_NAME"), "y");
  EXPECT_EQ(MachineProfile::osReleaseValue("NAME=x\n", "PRETTY_NAME"), "");
  // Fields too are matched by whole name, and the first one wins.
  const char* text = "model name extra: no\nmodel name : first\nmodel name: second\n";
  EXPECT_EQ(MachineProfile::fieldValue(text, "model name"), "first");
  EXPECT_EQ(MachineProfile::fieldCount(text, "model name"), 2u);
  EXPECT_EQ(MachineProfile::fieldValue("no colon here\n", "no colon here"), "");
}

TEST(MachineProfile, ValuesAreOneLineOfPrintableTextOfBoundedLength) {
  std::string cpuinfo = "model name\t: Fast\x01\x1b[31m CPU\x7f\r\n";
  EXPECT_EQ(MachineProfile::fieldValue(cpuinfo, "model name"), "Fast[31m CPU");

  // 199 ASCII bytes and then a two-byte character: the cut falls before it, not in it.
  std::string longName = std::string(199, 'x') + "\xc3\xa9" + std::string(50, 'y');
  std::string value = MachineProfile::fieldValue("model name: " + longName + "\n", "model name");
  EXPECT_EQ(value, std::string(199, 'x'));

  std::string uname = "Linux one\nsecond line\n";
  EXPECT_EQ(MachineProfile::textFromSources({"", uname, "", ""}), "Kernel: Linux one\n");
}

}  // namespace
}  // namespace twinlens
