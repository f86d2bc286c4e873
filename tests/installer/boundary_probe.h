// The installer probe's requests about the update service's boundary.
#pragma once
#include <string>
#include <vector>

// True when f (a request's fields) is one of them, with its answer set.
bool BoundaryAnswer(const std::vector<std::string>& f, std::string& answer);
