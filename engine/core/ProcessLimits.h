#pragma once

namespace trelvan {

// A link keeps every source open while it runs, one or more descriptors
// each, and a session's default allowance of open files (often 1,024) is
// below what a long list needs. Raises the allowance to the most the system
// grants this process; called once at start. False when it could not be
// raised (the old allowance then stays).
bool RaiseOpenFileLimit();

}  // namespace trelvan
