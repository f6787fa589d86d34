#include "app/process_memory.h"

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace veltrano {

// Every view switch resizes the window, so its backing store and the chart's images, about
// 2 MB each, are freed and allocated again. glibc raises its mmap threshold to the size of
// the first such block freed and serves later ones from the heap, where the small
// allocations made in between pin them: resident memory then grows in steps of a buffer
// that never come back. Setting the threshold turns that adjustment off; 128 KiB is
// glibc's own starting value, so nothing smaller changes place.
void keepLargeBuffersMapped()
{
#if defined(M_MMAP_THRESHOLD)
    constexpr int kMmapThreshold = 128 * 1024;
    mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
#endif
}

} // namespace veltrano
