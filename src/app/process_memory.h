#pragma once

namespace veltrano {

// Called once at start-up, before the application object: buffers of the allocator's
// threshold size and above (window backing stores, chart images) are mapped on their own
// and handed back to the system when freed, however often they are replaced.
void keepLargeBuffersMapped();

} // namespace veltrano
