#pragma once

// Memory a finished phase has freed, handed back to the system.
//
// The C library keeps what a program frees for its next allocations, but only memory at
// the top of its heap goes back to the system by itself. After a phase that built large
// tables and freed them, the next phase's buffers mostly land in fresh pages instead of
// those holes, and the process keeps both: a transfer into a phone freed some 9 MB of
// look-up tables after its merge, and its upload then raised the process above its
// merge's peak.
namespace FreedMemory {

// Returns the whole free pages of every heap to the system (madvise, with glibc; other
// C libraries keep theirs); the contents of live allocations stay as they are. Costs
// about a millisecond after a phase of a few hundred thousand allocations.
void giveBack();

} // namespace FreedMemory
