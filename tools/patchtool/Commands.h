// Sub-commands of patchtool; each returns the process exit code.
#pragma once

int RunScramble(int argc, char** argv);
