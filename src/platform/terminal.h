#pragma once

// Whether standard error goes to a terminal a person watches, so a progress
// line that rewrites itself is welcome there.
bool StandardErrorIsTerminal();
