// Anchors the engine object set so that it is never empty.
namespace tamblix_detail { int engine_anchor = 0; }
