// filled in with the frame path
