#!/usr/bin/python3
"""The browser path of the cloud service in headless Chromium: sign up, open the
application's sign-in link, continue, and catch the quillo://auth link with its token;
the dashboard lists an uploaded backup whose download `quillo import` accepts, and
revoking the device makes its token fail. Screenshots go to the folder given."""
import base64, hashlib, json, os, re, socket, subprocess, sys, tempfile, time, urllib.parse, urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

cloud, quillo, shots = sys.argv[1], sys.argv[2], sys.argv[3]
os.makedirs(shots, exist_ok=True)
work = tempfile.mkdtemp()
env = dict(os.environ, QUILLO_CLOUD_DATABASE=os.path.join(work, "cloud.sqlite"),
           XDG_DATA_HOME=os.path.join(work, "data"), XDG_CONFIG_HOME=os.path.join(work, "config"))
with socket.socket() as s:
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
base = f"http://127.0.0.1:{port}"
server = subprocess.Popen([cloud, "serve", "--listen", f"127.0.0.1:{port}"], env=env,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
failures = []


def check(condition, what):
    print(("ok     " if condition else "FAILED ") + what)
    if not condition:
        failures.append(what)


def api(method, path, token, body=None):
    request = urllib.request.Request(base + path, method=method, data=body,
                                     headers={"Authorization": "Bearer " + token, "Content-Type": "application/json"})
    try:
        with urllib.request.urlopen(request) as reply:
            return reply.status, reply.read()
    except urllib.error.HTTPError as e:
        return e.code, e.read()


for _ in range(100):
    try:
        urllib.request.urlopen(base + "/healthz")
        break
    except OSError:
        time.sleep(0.1)

options = webdriver.ChromeOptions()
for flag in ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update", "--disable-sync",
             f"--user-data-dir={os.path.join(work, 'chromium')}", "--window-size=1000,900"]:
    options.add_argument(flag)
options.set_capability("goog:loggingPrefs", {"performance": "ALL"})
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
try:
    driver.get(base + "/signup")
    driver.find_element(By.NAME, "email").send_keys("web@example.com")
    driver.find_element(By.NAME, "name").send_keys("Web")
    driver.find_element(By.NAME, "password").send_keys("a long enough password")
    driver.find_element(By.CSS_SELECTOR, "button[type=submit]").click()
    for _ in range(100):  # the form's POST (a password hash) and the page that follows
        if "Your account" in driver.page_source:
            break
        time.sleep(0.1)
    check("Your account" in driver.page_source, "signing up lands on the dashboard")

    state = "nonce+/=&1"
    link = f"{base}/auth/native?state={urllib.parse.quote(state, safe='')}&device=Test%20PC"
    driver.get(link)
    driver.save_screenshot(os.path.join(shots, "cloud-sign-in.png"))
    check("Continue as web@example.com" in driver.page_source, "the sign-in page offers to continue")
    driver.get_log("performance")  # forget what came before
    driver.find_element(By.CSS_SELECTOR, "button[type=submit]").click()
    location = None
    for _ in range(100):  # the POST's answer: a page that sends the browser on to quillo://
        for entry in driver.get_log("performance"):
            message = json.loads(entry["message"])["message"]
            if message.get("method") == "Network.requestWillBeSent":
                url = message["params"]["request"]["url"]
                if url.startswith("quillo://"):
                    location = url
        if location:
            break
        time.sleep(0.1)
    check(location is not None, "continuing sends the browser to quillo://auth")
    query = urllib.parse.parse_qs(urllib.parse.urlsplit(location or "quillo://auth").query)
    check(query.get("state") == [state], "the link carries the state unchanged")
    token = (query.get("token") or [""])[0]
    driver.save_screenshot(os.path.join(shots, "cloud-hand-over.png"))
    code = re.search(r'id="code">([A-Z0-9-]+)<', driver.page_source)
    check(code is not None and "quillo cloud sign-in --code " + code.group(1) in driver.page_source,
          "the page shows a one-time code for when Quillo does not open")
    check("within 10 minutes" in driver.page_source and f'href="{location.replace("&", "&amp;")}"' in driver.page_source,
          "the page's own link to Quillo is the one the browser was sent to")
    # The tab that met the quillo: link may hold the browser's question about opening
    # it, which takes the tab's clicks; go on in a new one.
    driver.switch_to.new_window("tab")
    status, body = api("GET", "/api/native/me", token)
    check(status == 200 and json.loads(body)["user"]["email"] == "web@example.com", "the token signs in")

    macro = {"actions": [{"flags": 0, "keyCode": 0, "timestamp": 0, "type": "keyDown"},
                         {"flags": 0, "keyCode": 0, "timestamp": 0.1, "type": "keyUp"}],
             "id": "3F2504E0-4F89-41D3-9A0C-0305E82C3301",
             "metadata": {"actionCount": 2, "createdAt": "2026-12-01T10:00:00Z", "durationSeconds": 0.1,
                          "modifiedAt": "2026-12-01T10:00:00Z", "name": "Login <b>flow</b>", "tags": []},
             "version": 1}
    data = json.dumps(macro, separators=(",", ":"), sort_keys=True).encode()
    payload = {"actionCount": 2, "data": base64.b64encode(data).decode(), "durationSeconds": 0.1,
               "macroVersion": 1, "name": "Login <b>flow</b>", "sha256": hashlib.sha256(data).hexdigest(),
               "size": len(data), "sourceMacroId": macro["id"]}
    status, _ = api("POST", "/api/backups", token, json.dumps(payload).encode())
    check(status == 200, "a backup uploads")
    driver.get(base + "/dashboard")
    driver.save_screenshot(os.path.join(shots, "cloud-dashboard.png"))
    check("Login &lt;b&gt;flow&lt;/b&gt;" in driver.page_source, "the dashboard lists the backup, escaped")
    href = driver.find_element(By.PARTIAL_LINK_TEXT, "Download").get_attribute("href")
    cookies = "; ".join(f"{c['name']}={c['value']}" for c in driver.get_cookies())
    with urllib.request.urlopen(urllib.request.Request(href, headers={"Cookie": cookies})) as reply:
        downloaded = reply.read()
    path = os.path.join(work, "download.quillo")
    with open(path, "wb") as f:
        f.write(downloaded)
    imported = subprocess.run([quillo, "import", path], env=env, capture_output=True, text=True)
    check(imported.returncode == 0, "quillo import takes the download: " + imported.stdout.strip() + imported.stderr.strip())

    driver.get(base + "/dashboard")
    driver.find_element(By.XPATH, "//form[@action='/dashboard/device/revoke']//button").click()
    for _ in range(50):  # the form's POST and the page that follows
        status, _ = api("GET", "/api/native/me", token)
        if status == 401:
            break
        time.sleep(0.1)
    check(status == 401, "revoking the device signs its token out")
finally:
    driver.quit()
    server.terminate()
    server.wait(timeout=20)

passed = 10 - len(failures)
print(f"{passed} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
