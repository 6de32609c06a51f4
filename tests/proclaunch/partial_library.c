/* A library of forwarded entries only; this is its one object. */
int proclaunch_partial_library_marker;
