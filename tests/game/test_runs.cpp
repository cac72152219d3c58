// Whole runs from the title to the end screens, replayed from control scripts.
