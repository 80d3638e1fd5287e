// Sub-commands of patchtool; each returns the process exit code.
#pragma once

int RunScramble(int argc, char** argv);
int RunPack(int argc, char** argv);
int RunRevision(int argc, char** argv);
int RunPublish(int argc, char** argv);
