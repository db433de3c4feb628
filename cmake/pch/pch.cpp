// Compiles the shared precompiled header; nothing of its own.
