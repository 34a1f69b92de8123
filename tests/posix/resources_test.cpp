#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace quavr::platform {
namespace {

const char* const kRcData = MAKEINTRESOURCEA(RT_RCDATA);

std::string bytesOf(HMODULE module, const char* name) {
  HRSRC found = FindResourceA(module, name, kRcData);
  if (found == nullptr) return "<missing>";
  const DWORD size = SizeofResource(module, found);
  const void* bytes = LockResource(LoadResource(module, found));
  return std::string(static_cast<const char*>(bytes), size);
}

std::string theme() {
  std::ifstream in(QUAVR_TEST_DATA "/theme.bin", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(ResourcesTest, TheMainProgramsResourcesAreFoundByNameAnyCase) {
  ASSERT_FALSE(theme().empty());
  EXPECT_EQ(bytesOf(nullptr, "Theme"), theme());
  EXPECT_EQ(bytesOf(nullptr, "THEME"), theme());
  EXPECT_EQ(bytesOf(nullptr, "theme"), theme());
  EXPECT_EQ(bytesOf(nullptr, "Themes"), "<missing>");
  EXPECT_EQ(bytesOf(nullptr, ""), "<missing>");
  EXPECT_EQ(FindResourceA(nullptr, nullptr, kRcData), nullptr);
  EXPECT_EQ(FindResourceA(nullptr, "Theme", MAKEINTRESOURCEA(3)), nullptr) << "only RCDATA";
}

TEST(ResourcesTest, IntegerIdsAreFoundAsMakeIntResourceAndAsHashNumber) {
  HRSRC byId = FindResourceA(nullptr, MAKEINTRESOURCEA(7), kRcData);
  ASSERT_NE(byId, nullptr);
  EXPECT_EQ(SizeofResource(nullptr, byId), 0u);
  EXPECT_EQ(FindResourceA(nullptr, "#7", kRcData), byId);
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(8), kRcData), nullptr);
}

TEST(ResourcesTest, ALoadedModulesResourcesAreFoundInThatModuleOnly) {
  void* module = dlopen(QUAVR_RESOURCE_MODULE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  EXPECT_EQ(bytesOf(module, "jingle"), theme());
  EXPECT_EQ(bytesOf(module, "Theme"), "<missing>");
  EXPECT_EQ(bytesOf(nullptr, "Jingle"), "<missing>");
  dlclose(module);
}

TEST(ResourcesTest, AHandleOfNoLoadedModuleFindsNothing) {
  EXPECT_EQ(bytesOf(dlopen(nullptr, RTLD_LAZY), "Theme"), theme()) << "the main program's handle";
  int onTheStack = 0;
  const auto heap = std::make_unique<char[]>(4096);
  void* module = dlopen(QUAVR_RESOURCE_MODULE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  dlclose(module);  // unloaded: its handle is stale now
  for (void* bogus : {reinterpret_cast<void*>(1), reinterpret_cast<void*>(0xFFFF),
                      static_cast<void*>(&onTheStack), static_cast<void*>(heap.get()), module}) {
    EXPECT_EQ(FindResourceA(bogus, "Jingle", kRcData), nullptr) << bogus;
  }
}

}  // namespace
}  // namespace quavr::platform
