#pragma once

namespace varnel {

// Runs the program: the whole of what the executable does.
int runApplication(int& argc, char** argv);

} // namespace varnel
