// kelvo-fidelity on the fcv1 ice (`--ice fcv1`).
#pragma once

namespace Kelvo {

// The arguments after `--ice fcv1`; returns the exit status.
int fcv1FidelityMain(int argc, char** argv);

}  // namespace Kelvo
