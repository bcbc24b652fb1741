// Keeps the shared tool library non-empty.
