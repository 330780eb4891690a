"""Generator of pieces with exactly known notes, for developing and training note analysis."""
