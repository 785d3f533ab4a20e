// The picture library's one entry point: its table for the interface it was built with and for
// no other, and errors cut to the caller's buffer.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "graphics/picture_interface.h"

namespace {

kt_picture_entry library_entry() {
  void* handle = dlopen(KT_PICTURE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return nullptr;
  return reinterpret_cast<kt_picture_entry>(dlsym(handle, KT_PICTURE_ENTRY_NAME));
}

TEST(PictureLibrary, GivesItsTableOnlyForItsOwnVersion) {
  const kt_picture_entry entry = library_entry();
  ASSERT_NE(entry, nullptr) << dlerror();
  for (const int version : {KT_PICTURE_INTERFACE_VERSION - 1, KT_PICTURE_INTERFACE_VERSION + 1, 0})
    EXPECT_EQ(entry(version), nullptr) << version;
  const kt_picture_table* table = entry(KT_PICTURE_INTERFACE_VERSION);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->interface_version, KT_PICTURE_INTERFACE_VERSION);
}

// A refusal is written whole into a large buffer and cut, still terminated, into small ones.
TEST(PictureLibrary, WritesItsErrorsIntoTheCallersBuffer) {
  const kt_picture_entry entry = library_entry();
  ASSERT_NE(entry, nullptr);
  const kt_picture_table* table = entry(KT_PICTURE_INTERFACE_VERSION);
  ASSERT_NE(table, nullptr);
  const kt_fit_plot no_points{};
  const std::string whole = "no measured point to draw in \"f.png\"";
  for (const std::size_t size :
       {std::size_t{256}, whole.size() + 1, std::size_t{5}, std::size_t{1}}) {
    char error[256];
    std::memset(error, 'x', sizeof error);
    EXPECT_EQ(table->draw_fit(&no_points, "f.png", error, size), 0);
    EXPECT_EQ(std::string(error), whole.substr(0, size - 1)) << size;
  }
}

}  // namespace
