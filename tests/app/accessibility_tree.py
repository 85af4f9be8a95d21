"""Reads the main window's accessible tree through the desktop's accessibility bus, as a
screen reader does, and checks that every page lists its controls by name and role and that
the "Create!" image button can be pressed. Exits 1 and says what is missing otherwise."""
import sys
import time

import pyatspi

EXPECTED = {
    "Add picture": [("push button", "Add file"), ("push button", "Delete"),
                    ("push button", "Show big"), ("push button", "Print..."),
                    ("list", "Album pictures"), ("tree", "Folders"),
                    ("combo box", "All pictures"), ("filler", "Picture preview")],
    "Sort": [("list", "Album pictures in order"), ("push button", "Move upward"),
             ("push button", "Move downward")],
    "Comments": [("list", "Pictures to comment"), ("check box", "Show comment"),
                 ("text", "Comment for picture")],
    "Create Glimmervellium": [("push button", "Create HTML file!"),
                              ("push button", "Background color..."),
                              ("spin button", "Width:"), ("spin button", "Height:"),
                              ("text", "Caption:"), ("text", "Free text:"),
                              ("spin button", "Thumbnails per line:"),
                              ("spin button", "Border width:")],
    "View result": [("label", "Created album")],
}
ALWAYS = [("push button", "New"), ("push button", "Open..."), ("push button", "Save"),
          ("push button", "Save as..."), ("push button", "Information about the program"),
          ("push button", "Hereby you leave the program")]


def find_application(name, seconds=60):
    end = time.time() + seconds
    while time.time() < end:
        for application in pyatspi.Registry.getDesktop(0):
            if application is not None and application.name == name:
                return application
        time.sleep(0.2)
    return None


def walk(node, depth=0):
    if node is None or depth > 30:
        return
    yield node
    for child in node:
        yield from walk(child, depth + 1)


def seen(root):
    return {(node.getRoleName(), node.name): node for node in walk(root)}


def main():
    application = find_application(sys.argv[1])
    if application is None:
        print("accessibility: the program never appeared on the accessibility bus")
        return 1
    missing = []
    everything = seen(application)
    tabs = [node for node in walk(application) if node.getRoleName() == "page tab list"]
    pages = [node for node in walk(application) if node.getRoleName() == "layered pane"]
    if not tabs or not pages:
        print("accessibility: no page tabs or pages")
        return 1
    names = [tab.name for tab in tabs[0]]
    for index, page in enumerate(child for child in pages[0]):
        title = names[index] if index < len(names) else f"page {index}"
        controls = seen(page)
        for wanted in EXPECTED.get(title, []):
            if wanted not in controls:
                missing.append(f"{title}: {wanted[1]!r} as {wanted[0]}")
    for wanted in ALWAYS:
        if wanted not in everything:
            missing.append(f"window: {wanted[1]!r} as {wanted[0]}")
    create = everything.get(("push button", "Create HTML file!"))
    if create is not None:
        action = create.queryAction()
        actions = [action.getName(i) for i in range(action.nActions)]
        if "Press" not in actions and "press" not in actions:
            missing.append(f"'Create HTML file!' offers no press action ({actions})")
    for line in missing:
        print("accessibility: missing", line)
    print(f"accessibility: {len(everything)} objects read, {len(missing)} missing")
    return 1 if missing else 0


sys.exit(main())
