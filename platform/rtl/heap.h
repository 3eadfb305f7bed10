// Handing freed memory back to the system. The C allocator keeps what large batches of work
// freed (frame buffers of many parallel tasks) for reuse, so without these a long-running
// process stays at the size of its busiest moment.
#pragma once

// Large blocks get their own mappings, returned the moment they are freed, instead of the
// allocator's pools (whose threshold otherwise rises with every large block freed). Once per
// process; later calls do nothing.
void ReturnLargeBlocksAtOnce();

// Returns the free memory the allocator holds (all its arenas) to the system.
void ReturnFreedMemory();
