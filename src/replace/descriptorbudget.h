#pragma once

// How many files a run may still open. A job needs a few descriptors while
// it works (the workbook, its new file, the libraries' own, its thread's
// wake-up descriptor) and two until its save is in place; a process that
// runs out of them fails where it opens a file, or aborts inside a library
// that cannot get one. A run therefore keeps as many jobs under way as its
// descriptors allow.

// The descriptors one job may hold at most, with its share of the threads.
constexpr int descriptorsPerJob = 8;

// Raises the soft limit of open files towards the hard limit (once per
// process), then returns how many more files the process may open now.
int freeDescriptors();
