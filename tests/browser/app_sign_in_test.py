#!/usr/bin/python3
"""The whole sign-in with the real application under the test display: `quillo cloud
sign-in` asks the running application to start it, headless Chromium signs up and
continues on the sign-in page, the quillo://auth link is handed to `quillo LINK` (which
passes it to the running application), and the application is signed in. A recording
saved in the application then shows on the dashboard. Screenshots go to the folder given."""
import json, os, re, socket, subprocess, sys, tempfile, time, urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

cloud, quillo, shots = sys.argv[1], sys.argv[2], sys.argv[3]
os.makedirs(shots, exist_ok=True)
if not os.environ.get("DISPLAY"):
    print("FAILED this test needs the X display that scripts/test.sh starts")
    sys.exit(1)
work = tempfile.mkdtemp()
with socket.socket() as s:
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
base = f"http://127.0.0.1:{port}"
env = dict(os.environ, QUILLO_CLOUD_DATABASE=os.path.join(work, "cloud.sqlite"), QUILLO_CLOUD_BASE_URL=base,
           XDG_DATA_HOME=os.path.join(work, "data"), XDG_CONFIG_HOME=os.path.join(work, "config"),
           BROWSER="/bin/true")  # the test's Chromium plays the browser
env.pop("QT_QPA_PLATFORM", None)
server_log = open(os.path.join(work, "server.log"), "w+")
server = subprocess.Popen([cloud, "serve", "--listen", f"127.0.0.1:{port}"], env=env,
                          stdout=server_log, stderr=subprocess.STDOUT)
failures = []
checks = 0
last_code = None  # the code the last page after Continue showed


def check(condition, what, detail=None):
    """`detail` is called for what a failure line adds."""
    global checks
    checks += 1
    print(("ok     " + what) if condition else ("FAILED " + what + (": " + detail() if detail else "")), flush=True)
    if not condition:
        failures.append(what)


def command(*args, timeout=30, stdin=None):
    return subprocess.run([quillo, *args], env=env, capture_output=True, text=True, timeout=timeout, input=stdin)


def seen(text, limit=300):
    """What a page or log said, short and printable, for a failure's line."""
    text = " ".join(text.split())[-limit:]
    return "".join(c if c.isprintable() else "?" for c in text)


def page_text():
    return seen(driver.find_element(By.TAG_NAME, "body").text)


def wait_for(predicate, seconds):
    end = time.time() + seconds
    while time.time() < end:
        if predicate():
            return True
        time.sleep(0.1)
    return False


def start_sign_in():
    """`quillo cloud sign-in` and the sign-in page's address it shows."""
    process = subprocess.Popen([quillo, "cloud", "sign-in"], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               text=True)
    for line in process.stdout:
        if line.strip().startswith(base + "/auth/native?"):
            return process, line.strip()
    return process, None


def continue_to_link():
    """Presses Continue on the open sign-in page; the quillo:// link the browser is sent to."""
    driver.get_log("performance")
    driver.find_element(By.CSS_SELECTOR, "button[type=submit]").click()
    for _ in range(50):
        for entry in driver.get_log("performance"):
            message = json.loads(entry["message"])["message"]
            if message.get("method") == "Network.requestWillBeSent":
                url = message["params"]["request"]["url"]
                if url.startswith("quillo://auth"):
                    global last_code
                    code = re.search(r'id="code">([A-Z0-9-]+)<', driver.page_source)
                    last_code = code.group(1) if code else None
                    driver.switch_to.new_window("tab")  # the old tab holds the question about opening it
                    return url
        time.sleep(0.1)
    return None


def finish(process):
    try:
        return process.communicate(timeout=20)
    except subprocess.TimeoutExpired:
        process.kill()
        return process.communicate()


def healthy():
    try:
        return urllib.request.urlopen(base + "/healthz", timeout=2).status == 200
    except OSError:
        return False


check(wait_for(healthy, 15), "the service answers")

app_log = open(os.path.join(work, "app.log"), "w+")
app = subprocess.Popen([quillo], env=env, stdout=subprocess.DEVNULL, stderr=app_log)
options = webdriver.ChromeOptions()
for flag in ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             f"--user-data-dir={os.path.join(work, 'chromium')}", "--window-size=1000,900"]:
    options.add_argument(flag)
options.set_capability("goog:loggingPrefs", {"performance": "ALL"})
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
try:
    check(wait_for(lambda: "Not signed in" in command("cloud", "status").stdout, 15),
          "the running application answers quillo cloud status, signed out")

    # The sign-in starts in the application; the command shows the page's address.
    sign_in, page = start_sign_in()
    check(page is not None and "state=" in page and "device=" in page, "the sign-in page's address is shown")

    driver.get(base + "/signup")
    driver.find_element(By.NAME, "email").send_keys("dee@example.com")
    driver.find_element(By.NAME, "name").send_keys("Dee Example")
    driver.find_element(By.NAME, "password").send_keys("a long enough password")
    driver.find_element(By.CSS_SELECTOR, "button[type=submit]").click()
    # The form's POST hashes a password; leaving the page before its answer would cancel it.
    check(wait_for(lambda: "Your account" in driver.page_source, 15),
          "signing up lands on the dashboard", page_text)
    driver.get(page or base)
    driver.save_screenshot(os.path.join(shots, "app-sign-in-page.png"))
    check("Continue as dee@example.com" in driver.page_source, "the page offers to continue", page_text)
    link = continue_to_link()
    check(link is not None, "continuing sends the browser to quillo://auth")

    # What the desktop does with the link: `quillo LINK`, handed to the running application.
    handed = command(link or "quillo://auth", timeout=20)
    check(handed.returncode == 0, "quillo LINK ends at once, leaving the link to the application")
    out, err = finish(sign_in)
    check(sign_in.returncode == 0 and "Signed in as Dee Example <dee@example.com>" in out,
          "the application signs in and the command says so: " + out.strip()[-80:] + err.strip()[-200:])
    status = command("cloud", "status").stdout
    check("as Dee Example <dee@example.com>" in status, "quillo cloud status reports the person: " + status.strip())

    # A recording saved in the application is backed up and shows on the dashboard.
    recording = subprocess.Popen([quillo, "record", "--name", "Backed Up By The App", "--duration", "1.5"], env=env,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    time.sleep(0.6)
    subprocess.run(["xdotool", "key", "a"], env=env)
    out, err = recording.communicate(timeout=20)
    check(recording.returncode == 0 and "Saved \"Backed Up By The App\"" in out, "the application saved the recording: " + out + err)
    found = False
    for _ in range(50):
        driver.get(base + "/dashboard")
        if "Backed Up By The App" in driver.page_source:
            found = True
            break
        time.sleep(0.2)
    driver.save_screenshot(os.path.join(shots, "app-dashboard.png"))
    check(found, "the dashboard lists the recording")
    subprocess.run(["import", "-window", "root", os.path.join(shots, "app-desktop.png")], env=env)

    app_log.seek(0)
    log = app_log.read()
    token = re.search(r"token=([^&]+)", link or "")
    check("Received deep link: quillo://auth?" in log and "token=<redacted>" in log, "the log names the link")
    check(token is not None and token.group(1) not in log, "the token never reaches the log")

    signed_out = command("cloud", "sign-out")
    check(signed_out.returncode == 0 and "Signed out." in signed_out.stdout, "quillo cloud sign-out")
    app.terminate()
    app.wait(timeout=20)

    # Without the application the command takes the link itself.
    sign_in, page = start_sign_in()
    check(page is not None, "without the application, the command shows the page too")
    driver.get(page or base)
    link = continue_to_link()
    handed = command(link or "quillo://auth", timeout=20)
    out, err = finish(sign_in)
    check(handed.returncode == 0 and sign_in.returncode == 0 and "Signed in as Dee Example" in out,
          "the command receives the link and signs in: " + out.strip()[-80:] + err.strip()[-200:])
    check("Signed in" in command("cloud", "status").stdout, "the keyring remembers it for the next command")
    command("cloud", "sign-out")

    # The link never reaches Quillo: the code the page shows, typed in another terminal,
    # finishes the waiting command; the same code a second time is refused.
    sign_in, page = start_sign_in()
    driver.get(page or base)
    continue_to_link()
    check(last_code is not None, "the page after Continue shows a code")
    typed = command("cloud", "sign-in", "--code", (last_code or "").lower(), timeout=20)
    out, err = finish(sign_in)
    check(typed.returncode == 0 and "Signed in as dee@example.com" in typed.stdout,
          "quillo cloud sign-in --code reaches the waiting command: " + typed.stdout + typed.stderr)
    check(sign_in.returncode == 0 and "Signed in as Dee Example" in out, "the waiting command ends signed in: " + out + err)
    again = command("cloud", "sign-in", "--code", last_code or "", timeout=20)
    check(again.returncode == 1 and "codes work once" in again.stderr and
          "still signed in as dee@example.com" in again.stderr and again.stdout == "",
          "a used code is refused and the sign-in stays: " + again.stderr.strip())
    command("cloud", "sign-out")
finally:
    driver.quit()
    if app.poll() is None:
        app.kill()

# With no application running, a launch with a link becomes the application and handles
# the link itself (a stale one here: no sign-in is waiting for it).
lone_log = open(os.path.join(work, "lone.log"), "w+")
lone = subprocess.Popen([quillo, "quillo://auth?state=STALE&token=stale-secret"], env=env,
                        stdout=subprocess.DEVNULL, stderr=lone_log)
def lone_said(text):
    lone_log.seek(0)
    return text in lone_log.read()
check(wait_for(lambda: lone_said("State mismatch"), 15), "a lone launch handles its link (a stale one is refused)")
check(not lone_said("stale-secret"), "its token is not logged either")
lone.terminate()
lone.wait(timeout=20)
server.terminate()
server.wait(timeout=20)

if failures:
    server_log.seek(0)
    print("the service's log ends: " + seen(server_log.read(), 1500))
    app_log.seek(0)
    print("the application's log ends: " + seen(app_log.read(), 1500))
print(f"{checks - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
