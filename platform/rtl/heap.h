// How the C allocator holds memory for work done by many threads at once (the frame buffers of
// parallel tasks), and handing freed memory back to the system, so a long-running process does
// not stay at the size of its busiest moment.
#pragma once

// Lets all threads share a few of the allocator's arenas instead of one arena per thread. Each
// arena keeps freed blocks for its own reuse; with dozens of codec threads that is dozens of
// private reserves, which is what raised the peak of many parallel tasks. The allocator's own
// adaptive mmap threshold stays in charge of single blocks, so a frame loop reuses its
// frame-sized buffers instead of mapping and faulting in each one afresh. Once per process;
// later calls do nothing.
void ShareAllocatorArenas();

// Returns the free memory the allocator holds (all its arenas) to the system. It walks every
// arena, so call it when a batch of work has ended (a task, a run), not per buffer.
void ReturnFreedMemory();
