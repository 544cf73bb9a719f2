#include "support/QtTestSupport.h"

namespace quillfen::test {
namespace {
[[maybe_unused]] auto* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);
}  // namespace
}  // namespace quillfen::test
