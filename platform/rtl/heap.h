// Handing freed memory back to the system. The C allocator keeps what large batches of work
// freed (frame buffers of many parallel tasks) for reuse, so without this a long-running
// process stays at the size of its busiest moment.
#pragma once

// Returns the free memory the allocator holds (all its arenas) to the system. It walks every
// arena, so call it when a batch of work has ended (a task, a run), not per buffer: the
// allocator's own adaptive mmap threshold stays in charge of single blocks, which lets a frame
// loop reuse its frame-sized buffers instead of mapping and faulting in each one afresh.
void ReturnFreedMemory();
