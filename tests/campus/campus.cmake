# The campus: its settings, the messages between its PCs and what a follower applies of them.
