// Anchors the core object set so that it is never empty.
namespace tamblix_detail { int core_anchor = 0; }
