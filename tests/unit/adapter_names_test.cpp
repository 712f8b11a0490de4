// The Windows layer's choice of the network instances that carry traffic of
// their own, on records as PDH hands them over.
#include "platform/win32/adapter_names.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

struct Instances {
  std::vector<std::string> names;
  std::vector<PDH_FMT_COUNTERVALUE_ITEM_A> items;
  std::vector<unsigned char> counted;

  Instances(std::vector<std::string> given, std::vector<LONG> values)
      : names(std::move(given)), items(names.size()), counted(names.size(), 0) {
    for (size_t i = 0; i < names.size(); ++i) {
      items[i].szName = &names[i][0];
      items[i].FmtValue.longValue = values[i];
    }
  }
  DWORD count() const { return static_cast<DWORD>(items.size()); }
  void mark(const std::vector<AdapterRow>& table) {
    for (const AdapterRow& row : table)
      markHardwareInstances(items.data(), count(), row, counted.data());
    countEveryInstanceIfNoneMarked(counted.data(), count());
  }
};

TEST(AdapterNames, InstancesAreMatchedByTheDescriptionAsPdhRenamesIt) {
  EXPECT_TRUE(instanceNamesAdapter("Intel[R] Ethernet Connection [7] I219-LM",
                                   "Intel(R) Ethernet Connection (7) I219-LM"));
  EXPECT_TRUE(instanceNamesAdapter("Vendor_Model _2 A_B", "Vendor/Model #2 A\\B"));
  // Whole names only: neither a shorter instance nor a longer one is the adapter.
  EXPECT_FALSE(instanceNamesAdapter("Intel[R] Ethernet", "Intel(R) Ethernet Connection"));
  EXPECT_FALSE(
      instanceNamesAdapter("Intel[R] Ethernet Connection _2", "Intel(R) Ethernet Connection"));
  EXPECT_FALSE(instanceNamesAdapter("Intel(R) Ethernet", "Intel(R) Ethernet"));
}

TEST(AdapterNames, OnlyHardwareRowsCountAndANumberedTwinIsAnAdapterOfItsOwn) {
  Instances laptop(
      {"Intel[R] I211 Gigabit Network Connection", "Intel[R] I211 Gigabit Network Connection _2",
       "Hyper-V Virtual Ethernet Adapter", "Hyper-V Virtual Ethernet Adapter _2",
       "TAP-Windows Adapter V9"},
      {1000, 200, 1000, 30, 4});
  laptop.mark({{"Intel(R) I211 Gigabit Network Connection", true, false},
               {"Intel(R) I211 Gigabit Network Connection #2", true, false},
               {"Hyper-V Virtual Ethernet Adapter", false, false},
               {"Hyper-V Virtual Ethernet Adapter #2", false, false},
               {"TAP-Windows Adapter V9", false, false}});
  EXPECT_EQ(laptop.counted, (std::vector<unsigned char>{1, 1, 0, 0, 0}));
}

TEST(AdapterNames, FilterRowsStandForNoAdapterOfTheirOwn) {
  const AdapterRow filter{"Intel(R) Wi-Fi 6 AX201 160MHz-Native WiFi Filter Driver-0000", true,
                          true};
  Instances withHardwareRow({"Intel[R] Wi-Fi 6 AX201 160MHz", "Hyper-V Virtual Ethernet Adapter"},
                            {500, 500});
  withHardwareRow.mark({filter, {"Intel(R) Wi-Fi 6 AX201 160MHz", true, false}});
  EXPECT_EQ(withHardwareRow.counted, (std::vector<unsigned char>{1, 0}));

  // A filter flagged as hardware, even one PDH would name like an instance.
  Instances onlyFilters({"Intel[R] Wi-Fi 6 AX201 160MHz", "Hyper-V Virtual Ethernet Adapter"},
                        {500, 500});
  onlyFilters.mark({filter, {"Hyper-V Virtual Ethernet Adapter", true, true}});
  EXPECT_EQ(onlyFilters.counted, (std::vector<unsigned char>{1, 1}));
}

TEST(AdapterNames, WithNoHardwareInstanceEveryInstanceCounts) {
  Instances unknown({"eth0", "vEthernet"}, {1, 2});
  unknown.mark({{"Realtek PCIe GbE Family Controller", true, false}});
  EXPECT_EQ(unknown.counted, (std::vector<unsigned char>{1, 1}));
  Instances noTable({"eth0"}, {1});
  noTable.mark({});
  EXPECT_EQ(noTable.counted, (std::vector<unsigned char>{1}));
}

TEST(AdapterNames, RecordsBeyondTheCallersRoomFoldIntoTheLastHandedOver) {
  std::vector<std::string> names;
  std::vector<LONG> values;
  for (int i = 0; i < 24; ++i) {
    names.push_back("adapter " + std::to_string(i));
    values.push_back(i == 23 ? std::numeric_limits<LONG>::max() : 10);
  }
  Instances many(names, values);
  many.counted.assign(24, 1);
  many.counted[0] = 0;  // left out, not folded
  PDH_FMT_COUNTERVALUE_ITEM_A out[20] = {};
  ASSERT_EQ(handOverCounted(many.items.data(), many.count(), many.counted.data(), out, 20), 20u);
  EXPECT_STREQ(out[0].szName, "adapter 1");
  EXPECT_EQ(out[18].FmtValue.longValue, 10);
  // adapter 20, then 21 and 22 at 10 each and 23 at the largest LONG: wraps
  // like the probe's sum.
  EXPECT_EQ(out[19].FmtValue.longValue, std::numeric_limits<LONG>::min() + 29);
}

TEST(AdapterNames, TheSignatureFollowsTheNamesAndTheirOrder) {
  Instances before({"ab", "c"}, {1, 2});
  Instances sameNamesOtherRates({"ab", "c"}, {7, 9});
  Instances split({"a", "bc"}, {1, 2});
  Instances added({"ab", "c", "TAP-Windows Adapter V9"}, {1, 2, 3});
  const DWORD signature = instanceSignature(before.items.data(), before.count());
  EXPECT_EQ(signature, instanceSignature(sameNamesOtherRates.items.data(), 2));
  EXPECT_NE(signature, instanceSignature(split.items.data(), 2));
  EXPECT_NE(signature, instanceSignature(added.items.data(), 3));
}

}  // namespace
