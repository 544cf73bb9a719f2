// Planted for the check of unity batches: a file-local helper that SecondHelper.cpp names too.
namespace {
int helper() { return 1; }
}  // namespace
int first() { return helper(); }
