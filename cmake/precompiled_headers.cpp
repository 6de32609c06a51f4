// The target that compiles the shared precompiled headers needs one source
// of its own; this one adds nothing.
