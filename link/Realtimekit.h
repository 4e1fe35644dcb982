#pragma once
#include <string>

// Asks RealtimeKit to make the calling thread real-time (SCHED_RR) at wanted or the
// highest priority it offers below that, bounding the process's real-time CPU time as it
// requires. True with the priority in granted; false with the reason in why.
bool MakeThreadRealtimeByKit(int wanted, int& granted, std::string& why);
