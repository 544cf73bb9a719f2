// Planted for the check of unity batches: the same name as FirstHelper.cpp's helper, in a file
// of its own that CMake might put in another batch.
namespace {
int helper() { return 2; }
}  // namespace
int second() { return helper(); }
